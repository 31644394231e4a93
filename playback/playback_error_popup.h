// The modeless window that collects the error messages of one playback run.
// It shows at most 33 messages, then a "(...)" mark; once the user closed it,
// it stays closed for 10 s unless a new start begins another run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "metadata/track_handle.h"
#include "playback/playback_engine.h"

namespace playback_error_popup {

inline constexpr std::uint32_t most_messages = 33;
inline constexpr DWORD quiet_after_close_ms = 10000;

// Main thread. Opens the window or appends to it ("\r\n\r\n" between
// messages); nothing when the "Show error message popups" setting is off or
// the window was closed in this run less than 10 s ago. Without a main window
// the text goes to the debugger output.
void show(const char* text);
// A new run: a closed popup may open again at once.
void start_new_run();
// Null while closed.
HWND window() noexcept;
// The edit field's text.
std::string text();

// Whether a popup closed at `closed_at` during this run still keeps quiet at
// `now` (tick counts, which wrap).
bool keeps_quiet(bool closed_this_run, DWORD closed_at, DWORD now) noexcept;

}  // namespace playback_error_popup

// The text shown for an item that failed: the kind, the time for kinds that
// have one (1 to 3), the failure's message and the item's location.
std::string playback_item_error_text(std::uint32_t kind, const track_handle* track, double seconds,
                                     const char* message);
