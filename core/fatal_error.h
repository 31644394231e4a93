// The way every unrecoverable failure leaves the process.
#pragma once

// Makes std::terminate (an exception nothing caught, a throw out of a noexcept
// function) write the exception's text to the debugger output and raise the
// fatal internal error, which the crash handler takes. With this toolchain an
// uncaught C++ exception never reaches the unhandled-exception filter alone.
void install_terminate_handler();
