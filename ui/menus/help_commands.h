// The Help popup's About and Web site commands. The web site is opened
// through the shell; tests replace that call to see it without a browser.
#pragma once

#include <windows.h>

using shell_call = void (*)(HWND owner, const char* verb, const char* target);

// Null restores the real shell call.
void set_web_site_shell_call(shell_call call) noexcept;
