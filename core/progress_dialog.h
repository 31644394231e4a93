// The dialog behind one threaded_process operation: it owns the worker
// thread, shows what the worker reports, and carries the Pause, Abort and
// Minimize buttons. Main thread for everything but the status operations.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "core/modal_scope.h"
#include "core/threaded_process.h"
#include "foundation/string_object.h"
#include "foundation/thread.h"
#include "foundation/win32_handles.h"

class progress_dialog final : public threaded_process_status {
public:
  // `flags` are already normalised (threaded_process::normalize_flags).
  progress_dialog(threaded_process_callback* callback, std::uint32_t flags, const char* title,
                  std::size_t title_length, bool modal);
  // Aborts and joins a worker that is still running.
  ~progress_dialog();
  progress_dialog(const progress_dialog&) = delete;
  progress_dialog& operator=(const progress_dialog&) = delete;

  // The resource template that fits the flags.
  static int template_for(std::uint32_t flags) noexcept;
  int template_id() const noexcept { return template_for(flags_); }

  // The procedure for DialogBoxParamW / CreateDialogParamW, with this object
  // as the creation parameter.
  static INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  // Modeless use: from now on the object deletes itself after its window's
  // last message. Answers false when the window is already gone, in which
  // case the caller still owns (and must delete) the object.
  bool hand_over_to_window() noexcept;

  // A confirmed quit: every operation stops now, as its Abort button would
  // stop it. The workers finish what they have begun (a file being written
  // ends whole) but take nothing further while the shutdown saves and
  // closes; each window's end then joins its worker. Main thread only.
  static void abort_all() noexcept;

  void set_progress(std::uint32_t value) override;
  void set_progress_secondary(std::uint32_t value) override;
  void set_item(const char* text, std::size_t length) override;
  void set_item_path(const char* text, std::size_t length) override;
  void set_title(const char* text, std::size_t length) override;
  void force_update() override;
  bool is_paused() override;
  bool check_pause() override;

  // Posted by the worker once its work has ended.
  static constexpr UINT worker_done_message = WM_APP + 1;
  // Posted by set_title and force_update for an immediate refresh.
  static constexpr UINT refresh_message = WM_APP;
  static constexpr UINT_PTR refresh_timer_id = 4321;
  static constexpr UINT refresh_interval_ms = 250;
  static constexpr DWORD delayed_show_ms = 500;

private:
  class worker_thread final : public qiv::thread {
  public:
    explicit worker_thread(progress_dialog& owner) noexcept : owner_(owner) {}
    ~worker_thread() override { wait_till_done(); }

  private:
    void run() override { owner_.worker_main(); }
    progress_dialog& owner_;
  };

  INT_PTR handle_message(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR on_init_dialog();
  void start_worker();
  void end_without_worker();
  void worker_main() noexcept;
  void refresh();
  void on_command(int id);
  void on_worker_done();
  void close_window();
  // Closes the window after on_done, or ends the object when on_done already
  // destroyed the window.
  void finish_after_done();
  void join_worker() noexcept;
  void store_item(const char* text, std::size_t length, bool is_path);
  // 'Unhandled exception in "<title>"', empty when even that finds no memory.
  std::string failure_caption();
  static void show_failure(const std::exception& error, const std::string& caption) noexcept;

  HWND window_ = nullptr;
  const std::uint32_t flags_;
  const bool modal_;
  service_ptr<threaded_process_callback> callback_;
  raisable_abort_signal abort_;

  // Guards the texts below; the worker writes them, the main thread shows them.
  critical_section lock_;
  std::string item_;
  bool item_is_path_ = false;
  std::string title_;

  // What the controls show now; main thread only.
  std::string shown_item_;
  bool shown_item_is_path_ = false;
  std::string shown_title_;
  std::uint32_t shown_percent_ = 0;
  std::uint32_t shown_percent_secondary_ = 0;

  std::atomic<std::uint32_t> percent_{0};
  std::atomic<std::uint32_t> percent_secondary_{0};
  std::atomic<bool> paused_{false};
  std::atomic<bool> worker_finished_{false};

  bool aborted_ = false;  // by the user, or because the worker never started
  bool succeeded_ = false;
  bool show_delayed_ = false;
  DWORD init_tick_ = 0;
  bool ending_ = false;
  bool destroyed_ = false;
  bool window_gone_ = false;
  bool owned_by_window_ = false;
  bool in_on_done_ = false;
  bool delete_pending_ = false;  // the window went while on_done ran
  modal_scope scope_;
  worker_thread worker_{*this};  // last: joined before the members it reads go
};

// Hooks the dialog calls through, set by the layers above core.
namespace progress_dialog_hooks {

// Turns an item path into the form shown to users. The file layer sets it;
// without it a path is shown as it stands.
using path_formatter = void (*)(qiv::string_object& out, const char* path);
void set_path_formatter(path_formatter formatter) noexcept;

// Starts the worker; replaceable so that a failure to create the thread can
// be exercised. Null restores the real start.
using worker_starter = void (*)(qiv::thread& worker);
void set_worker_starter(worker_starter starter) noexcept;

}  // namespace progress_dialog_hooks
