// The main thread's message loop, and the service through which other code
// hooks into it with message filters and idle handlers.
#pragma once

#include <windows.h>

#include <exception>

#include "core/idle_handlers.h"
#include "core/message_filters.h"
#include "core/service_object.h"
#include "foundation/win32_error.h"

// Main thread only, like everything the loop runs.
class message_loop : public service_object {
public:
  static constexpr GUID class_guid = {0x5CD49B5D, 0xD604, 0x4C07, {0xA8, 0xFA, 0xFF, 0xD8, 0x51, 0x2A, 0xFD, 0x2B}};
  using service_parent = service_object;
  // Callers written against the earlier form of the interface ask for this.
  static bool answers_extension(const GUID& guid) noexcept { return guid == earlier_class_guid; }

  // Every message number.
  virtual void add_filter(message_filter* filter) = 0;
  // Removes every registration of the filter.
  virtual void remove_filter(message_filter* filter) = 0;
  virtual void add_idle_handler(idle_handler* handler) = 0;
  virtual void remove_idle_handler(idle_handler* handler) = 0;
  // Message numbers in [lowest, highest], both inclusive.
  virtual void add_filter_range(message_filter* filter, UINT lowest, UINT highest) = 0;

  // The process's loop service.
  static message_loop& get() noexcept;

private:
  static constexpr GUID earlier_class_guid = {0x5D438080, 0xB269, 0x406D, {0x94, 0xEF, 0xEF, 0xD9, 0x29, 0x9F, 0x32, 0x5C}};
};

// GetMessageW failed: the loop itself cannot go on.
class exception_message_loop : public exception_win32 {
public:
  using exception_win32::exception_win32;
};

// Runs until WM_QUIT and answers its wParam, the exit code. An exception from
// a filter, an idle handler or a window procedure (kept by guard_callback)
// leaves the loop; GetMessageW failing throws exception_message_loop.
int main_message_loop();

// The player's loop: main_message_loop, entered again after each failure a
// window or callback kept, which goes to `report`. Such a failure (memory
// running out, say) ended one command, not the program. An internal error
// (exception_bug_check and kin), an exception of no known kind and
// exception_message_loop still leave it.
using loop_failure_report = void (*)(const std::exception& error) noexcept;
int main_message_loop_past_failures(loop_failure_report report);

// The loop's step before TranslateMessage: mouse-wheel retargeting, the
// filters, the modeless dialogs. `cursor` is where the message happened
// (GetMessagePos). Answers true when the message was consumed.
bool pretranslate_message(MSG& message, POINT cursor);

// Idle handlers run once each time the queue empties after this message;
// painting, mouse movement and caret blinking are not work that makes views
// stale.
bool message_ends_idle_phase(UINT message) noexcept;
