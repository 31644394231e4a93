// The popup message window: a longer text (an error report, a list of
// problems) in a resizable, non-modal window with a read-only, scrollable
// field in a fixed-pitch font. Any thread may ask for one through the
// popup_message services (core/popup_message.h); windows are made on the
// main thread only.
#pragma once

#include <windows.h>

#include <string>

// "\n" becomes "\r\n" and every "\r" is dropped, as the edit field wants its
// line ends.
std::wstring popup_message_field_text(const char* text, std::size_t length);

// Main thread: opens a popup owned by `owner` (null: the main window; with
// neither, nothing is opened and the text goes to the debugger output).
// Answers the window, or null.
HWND popup_message_open(HWND owner, const char* text, std::size_t text_length, const char* caption,
                        std::size_t caption_length);
