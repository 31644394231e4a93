// The end of an executable whose own work is done: its threads stopped, its
// files closed, its stores saved.
#pragma once

namespace qiv {

// Flushes the C streams and ends the process with `code` at once, without
// the runtime's exit: no static destructors, no library finalisers. Under
// Wine those run after the server already counts the process as ended (it
// kills one that has not vanished half a second later, so a success could
// be reported as killed), and they run beside threads the program does not
// own, whose locks could keep the exit waiting for ever.
[[noreturn]] void end_process_now(int code) noexcept;

} // namespace qiv
