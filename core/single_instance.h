// One running instance per profile folder. A second start with the same
// profile hands its command line and current directory to the running
// instance's message window and ends; the running instance carries the
// command line out on its own message loop.
#pragma once

namespace single_instance {

enum class start_result {
  first_instance,   // this process owns the profile; its message window exists
  handed_over,      // the running instance took the command line
  not_handed_over,  // an instance runs but never took the command line
};

// Start-up, once the profile folder is known. Waits up to about 30 seconds
// for a running instance that has not created its window yet or does not
// answer, and about 5 seconds for one that holds the profile with no window
// at all (it has destroyed it while ending); no instance, hung or not, of
// this profile or another, can make it wait longer. Throws
// exception_win32 when the mutex, the window class or the window cannot be
// created.
start_result check();

// Start-up, after the user interface: runs the program's own command line.
void process_own_command_line();

// Shutdown: destroys the message window and drops what it still held. The
// mutex stays until the process ends, so no second instance starts on a
// profile this one still writes.
void destroy();

}  // namespace single_instance
