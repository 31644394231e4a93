// The main thread, which owns every window and the main-thread-only state.
// Start-up records its id; the foundation cannot ask the application core
// for it.
#pragma once

#include <windows.h>

namespace qiv {

// Called once by start-up on the main thread.
void set_main_thread_id(DWORD id) noexcept;
// 0 until start-up has recorded it.
DWORD main_thread_id() noexcept;

} // namespace qiv

// The same answer as is_main_thread, without the warning: for code that runs
// on any thread and only chooses where to do its work.
bool running_on_main_thread() noexcept;

// True on the main thread, and on any thread before start-up recorded one
// (tests and tools run the foundation without start-up). Otherwise writes
// "This function can be called only from main thread.\n" to the debugger
// output, so that a misplaced call shows up, and answers false.
bool is_main_thread();

// For state only the main thread may change: a call from elsewhere is a bug
// the program cannot recover from, so after is_main_thread's warning it
// stops the program (qiv::crash).
void require_main_thread();
