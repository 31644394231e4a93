// Long operations (tagging many files and the like) run on a worker thread
// behind a progress dialog, so the main window stays responsive and the user
// can pause or abort them. The caller hands over a counted callback; the
// dialog owns the worker and reports the end to the callback on the main
// thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"

// What the worker reports to the dialog. Any thread; every operation only
// stores values (under the dialog's lock) and the main thread shows them.
class threaded_process_status {
public:
  // The scale of both progress values.
  static constexpr std::uint32_t progress_max = 5000;

  virtual void set_progress(std::uint32_t value) = 0;
  virtual void set_progress_secondary(std::uint32_t value) = 0;
  // Plain text, shown as it stands. A length of ~0 means up to the NUL. This
  // and the next three do nothing once the operation is aborted.
  virtual void set_item(const char* text, std::size_t length) = 0;
  // A path, shown in its display form and shortened with an ellipsis.
  virtual void set_item_path(const char* text, std::size_t length) = 0;
  // A new dialog title, shown at once.
  virtual void set_title(const char* text, std::size_t length) = 0;
  // Shows what was reported without waiting for the next periodic refresh.
  virtual void force_update() = 0;
  virtual bool is_paused() = 0;
  // Blocks while the user has paused the operation. False as soon as the
  // operation is aborted, true when it is not (or no longer) paused.
  virtual bool check_pause() = 0;

protected:
  ~threaded_process_status() = default;  // owned by the dialog
};

// The caller's side of one operation: a counted object (service_counted<...>).
class threaded_process_callback : public service_object {
public:
  static constexpr GUID class_guid = {0x7B69141B, 0x4271, 0x4070, {0x89, 0x98, 0x10, 0xCD, 0x39, 0x24, 0x9C, 0x12}};
  using service_parent = service_object;

  // Main thread, before the worker starts.
  virtual void on_init(HWND /*dialog*/) {}
  // The whole work, on the worker thread. exception_aborted ends it quietly;
  // any other exception is shown to the user and the operation still ends.
  virtual void run(threaded_process_status& status, const abort_signal& abort) = 0;
  // Main thread, once the worker has ended.
  virtual void on_done(HWND /*dialog*/, bool /*was_aborted*/) {}
};

class threaded_process : public service_object {
public:
  static constexpr GUID class_guid = {0x9DBC262F, 0x4795, 0x4292, {0x82, 0x4B, 0x23, 0xA6, 0x55, 0x01, 0x1A, 0x3E}};
  using service_parent = service_object;

  enum : std::uint32_t {
    flag_show_abort = 0x01,           // Abort button and the system menu
    flag_show_minimize = 0x02,        // minimises the parent window
    flag_show_progress = 0x04,        // a 0-100 bar; without it a marquee
    flag_show_progress_dual = 0x08,   // a second bar; implies flag_show_progress
    flag_show_item = 0x10,            // the "Processing:" item text
    flag_show_pause = 0x20,
    flag_high_priority = 0x40,        // the worker runs time-critical
    flag_show_delayed = 0x80,         // modeless: hidden for the first 500 ms; implies flag_no_focus
    flag_no_focus = 0x100,            // showing the dialog does not take the focus
  };

  // Main thread only. Blocks in a modal dialog until the worker has ended;
  // true when it finished without being aborted. False, without running the
  // operation, when the dialog cannot be created.
  virtual bool run_modal(threaded_process_callback* callback, std::uint32_t flags, HWND parent, const char* title,
                         std::size_t title_length = ~std::size_t(0)) = 0;
  // Main thread only. Creates the dialog and returns true at once; failing to
  // create it throws exception_win32.
  virtual bool run_modeless(threaded_process_callback* callback, std::uint32_t flags, HWND parent,
                            const char* title, std::size_t title_length = ~std::size_t(0)) = 0;

  // Adds the flags that others imply.
  static std::uint32_t normalize_flags(std::uint32_t flags) noexcept;

  // The process's service.
  static threaded_process& get() noexcept;
};
