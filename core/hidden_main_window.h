// The main thread's invisible window. It exists from start-up until late in
// shutdown, longer than any user-interface window, so other threads always
// have somewhere to post: it carries the main-thread queue's wake-up message,
// the shell-hook notifications of the media keys and the playback position
// timer.
#pragma once

#include <windows.h>

namespace hidden_main_window {

inline constexpr wchar_t class_name[] = L"{53229DFC-A273-45cd-A3A4-161FA9FC6414}";

// Registers the class and creates the window (owned by the user interface's
// main window when that exists already). Failures throw exception_win32.
void create();
// Destroys the window and unregisters its class; nothing when there is none.
void destroy();
// Any thread; null while there is no window.
HWND get() noexcept;

// The user interface's start-up asks for the shell-hook notifications (the
// media keys); the window gives the registration back when it is destroyed.
// Answers whether the system accepted it.
bool register_shell_hook();
// Whether the system accepted the registration (Wine never does).
bool shell_hook_accepted() noexcept;

// The message number the system sends shell-hook notifications under
// ("SHELLHOOK"), registered when the window is first made (0 before).
UINT shell_hook_message() noexcept;

} // namespace hidden_main_window
