// The one place where an exception thrown by a window's own code stops.
//
// With this toolchain a C++ exception cannot unwind through user32 or
// comctl32 frames: it ends in std::terminate. Every window procedure, dialog
// procedure, hook, subclass procedure and worker entry of the user interface
// therefore runs its body through guard_window_callback, which catches
// everything, reports it and answers a safe result, so that the program and
// its message loop go on.
#pragma once

namespace window_exception_boundary {

// Reports the exception being handled: one line to the debugger output
// ("Unhandled exception in <where>: <message>"), then the error popup (the
// popup service, or the debugger output while there is none). Call it only
// inside a catch handler. Never throws; a failure while reporting, or an
// exception raised by the report itself, is dropped.
void report_current_exception(const char* where) noexcept;

}  // namespace window_exception_boundary

template <class Result, class Body>
Result guard_window_callback(const char* where, Result failure_result, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    window_exception_boundary::report_current_exception(where);
    return failure_result;
  }
}
