#include "core/progress_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

#include "core/callback_guard.h"
#include "core/dialog_registry.h"
#include "core/failure_text.h"
#include "core/io_exception_base.h"
#include "core/localized_window_text.h"
#include "core/popup_message.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/window_text.h"
#include "resources/threaded_process_dialogs.h"

namespace {

std::atomic<progress_dialog_hooks::path_formatter> path_formatter_hook{nullptr};
std::atomic<progress_dialog_hooks::worker_starter> worker_starter_hook{nullptr};

// Every dialog object that exists, main thread only.
std::vector<progress_dialog*>& live_dialogs() {
  static std::vector<progress_dialog*> dialogs;
  return dialogs;
}

std::uint32_t percent_of(std::uint32_t value) noexcept {
  // 64-bit so that a stray huge value cannot wrap into a small percentage.
  return static_cast<std::uint32_t>(std::uint64_t(value) * 100 / threaded_process_status::progress_max);
}

std::string text_of(const char* text, std::size_t length) {
  if (text == nullptr) return {};
  if (length == ~std::size_t(0)) return std::string(text);
  std::size_t end = 0;
  while (end < length && text[end] != '\0') ++end;
  return std::string(text, end);
}

// A static control takes '&' as a mnemonic marker; file names are full of them.
std::string with_literal_ampersands(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

void set_style_bit(HWND window, LONG bit, bool on) {
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  SetWindowLongW(window, GWL_STYLE, on ? (style | bit) : (style & ~bit));
}

}  // namespace

namespace progress_dialog_hooks {
void set_path_formatter(path_formatter formatter) noexcept { path_formatter_hook = formatter; }
void set_worker_starter(worker_starter starter) noexcept { worker_starter_hook = starter; }
}  // namespace progress_dialog_hooks

progress_dialog::progress_dialog(threaded_process_callback* callback, std::uint32_t flags, const char* title,
                                 std::size_t title_length, bool modal)
    : flags_(flags), modal_(modal), callback_(callback), title_(text_of(title, title_length)) {
  live_dialogs().push_back(this);
}

progress_dialog::~progress_dialog() {
  join_worker();
  std::vector<progress_dialog*>& dialogs = live_dialogs();
  dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), this), dialogs.end());
}

void progress_dialog::abort_all() noexcept {
  for (progress_dialog* dialog : live_dialogs()) {
    if (dialog->ending_) continue;
    dialog->abort_.raise();
    dialog->aborted_ = true;
  }
}

int progress_dialog::template_for(std::uint32_t flags) noexcept {
  if (flags & threaded_process::flag_show_progress_dual) return IDD_PROGRESS_DUAL;
  if (flags & threaded_process::flag_show_item) return IDD_PROGRESS_ITEM;
  return IDD_PROGRESS_SIMPLE;
}

bool progress_dialog::hand_over_to_window() noexcept {
  if (window_gone_) return false;
  owned_by_window_ = true;
  return true;
}

INT_PTR CALLBACK progress_dialog::dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return guard_callback<INT_PTR>(FALSE, [&]() -> INT_PTR {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<progress_dialog*>(lparam);
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      self->window_ = window;
      return self->on_init_dialog();
    }
    auto* self = reinterpret_cast<progress_dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, DWLP_USER, 0);
      if (!self->owned_by_window_) self->window_gone_ = true;
      else if (self->in_on_done_) self->delete_pending_ = true;  // on_done is still running on it
      else delete self;
      return FALSE;
    }
    return self->handle_message(message, wparam, lparam);
  });
}

INT_PTR progress_dialog::handle_message(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_TIMER:
      if (wparam != refresh_timer_id) return FALSE;
      refresh();
      return TRUE;
    case refresh_message:
      refresh();
      return TRUE;
    case worker_done_message:
      on_worker_done();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) != 0) return FALSE;
      on_command(LOWORD(wparam));
      return TRUE;
    case WM_DESTROY:
      // Closing the window by any road ends the work: nothing is left running
      // that could post to a window that is gone.
      destroyed_ = true;
      KillTimer(window_, refresh_timer_id);
      if (!modal_) dialog_registry::get().remove(window_);
      join_worker();
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR progress_dialog::on_init_dialog() {
  HWND bar = GetDlgItem(window_, IDC_PROGRESS_BAR);
  if (flags_ & threaded_process::flag_show_progress) {
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    shown_percent_ = 0;
    shown_percent_secondary_ = 0;
  } else {
    set_style_bit(bar, PBS_MARQUEE, true);
    SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
  }
  if (HWND secondary = GetDlgItem(window_, IDC_PROGRESS_BAR_SECONDARY)) {
    if (flags_ & threaded_process::flag_show_progress_dual) SendMessageW(secondary, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    else EnableWindow(secondary, FALSE);
  }
  set_localized_item_text(window_, IDC_PROGRESS_ITEM_LABEL, "dialog_processing", "Processing:");
  set_localized_item_text(window_, IDC_PROGRESS_PAUSE, "ui_pause", "Pause");
  set_localized_item_text(window_, IDC_PROGRESS_MINIMIZE, "dialog_minimize", "Minimize");
  set_localized_item_text(window_, IDC_PROGRESS_ABORT, "dialog_abort", "Abort");
  if (!(flags_ & threaded_process::flag_show_pause)) ShowWindow(GetDlgItem(window_, IDC_PROGRESS_PAUSE), SW_HIDE);
  if (!(flags_ & threaded_process::flag_show_item)) {
    if (HWND item = GetDlgItem(window_, IDC_PROGRESS_ITEM)) EnableWindow(item, FALSE);
    if (HWND label = GetDlgItem(window_, IDC_PROGRESS_ITEM_LABEL)) EnableWindow(label, FALSE);
  }
  if (!(flags_ & threaded_process::flag_show_minimize)) ShowWindow(GetDlgItem(window_, IDC_PROGRESS_MINIMIZE), SW_HIDE);
  if (!(flags_ & threaded_process::flag_show_abort)) {
    EnableWindow(GetDlgItem(window_, IDC_PROGRESS_ABORT), FALSE);
    set_style_bit(window_, WS_SYSMENU, false);
  }

  {
    critical_section_lock hold(lock_);
    shown_title_ = title_;
  }
  set_window_text_utf8(window_, shown_title_.c_str());
  SetTimer(window_, refresh_timer_id, refresh_interval_ms, nullptr);
  if (!modal_) dialog_registry::get().add(window_);

  try {
    callback_->on_init(window_);
  } catch (...) {
    // The operation cannot go on, but the dialog must still end (a modal one
    // would otherwise wait forever); the caller's exception goes on.
    end_without_worker();
    throw;
  }
  start_worker();

  if (modal_) scope_.enter(window_);
  if ((flags_ & threaded_process::flag_show_delayed) && !modal_) {
    show_delayed_ = true;
    init_tick_ = GetTickCount();
  } else {
    ShowWindow(window_, SW_SHOWNA);
  }
  if (flags_ & threaded_process::flag_no_focus) return FALSE;
  return show_delayed_ ? FALSE : TRUE;
}

void progress_dialog::start_worker() {
  try {
    if (auto starter = worker_starter_hook.load()) starter(worker_);
    else worker_.start();
  } catch (const std::exception& error) {
    // No worker will ever report its end: end the operation here as aborted,
    // so neither the dialog nor a modal caller waits for it, and say why.
    std::string caption;
    {
      critical_section_lock hold(lock_);
      caption = title_;
    }
    end_without_worker();
    popup_message_show(error.what(), caption.c_str());
  }
}

void progress_dialog::end_without_worker() {
  aborted_ = true;
  worker_finished_ = true;
  PostMessageW(window_, worker_done_message, 0, 0);
}

void progress_dialog::worker_main() noexcept {
  if (flags_ & threaded_process::flag_high_priority) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  try {
    callback_->run(*this, abort_);
  } catch (const vantrel_io::exception_aborted&) {
  } catch (const std::exception& error) {
    show_failure(error, failure_caption());
  } catch (...) {
    // Nothing to show, but the dialog must still hear that the work ended.
  }
  worker_finished_ = true;
  PostMessageW(window_, worker_done_message, 0, 0);
}

void progress_dialog::refresh() {
  if (show_delayed_ && !ending_ && !IsWindowVisible(window_) && GetTickCount() - init_tick_ > delayed_show_ms) {
    show_delayed_ = false;
    // Without taking the focus, as the delay promises: shown late, the
    // window must not come up over a question the user is answering.
    ShowWindow(window_, SW_SHOWNA);
  }
  {
    critical_section_lock hold(lock_);
    if ((flags_ & threaded_process::flag_show_item) &&
        (item_ != shown_item_ || item_is_path_ != shown_item_is_path_)) {
      const bool path_changed = item_is_path_ != shown_item_is_path_;
      shown_item_ = item_;
      shown_item_is_path_ = item_is_path_;
      HWND control = GetDlgItem(window_, IDC_PROGRESS_ITEM);
      if (path_changed) {
        SetWindowTextW(control, L"");
        set_style_bit(control, SS_PATHELLIPSIS, shown_item_is_path_);
      }
      std::string shown = shown_item_;
      if (shown_item_is_path_) {
        if (auto formatter = path_formatter_hook.load()) {
          qiv::string_buffer display;
          formatter(display, shown_item_.c_str());
          shown = display.get_ptr();
        }
      }
      set_window_text_utf8(control, with_literal_ampersands(shown).c_str());
    }
    if (title_ != shown_title_) {
      shown_title_ = title_;
      set_window_text_utf8(window_, shown_title_.c_str());
    }
  }
  if (flags_ & threaded_process::flag_show_progress) {
    const std::uint32_t percent = percent_;
    if (percent != shown_percent_) {
      shown_percent_ = percent;
      SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_SETPOS, percent, 0);
    }
  }
  if (flags_ & threaded_process::flag_show_progress_dual) {
    const std::uint32_t percent = percent_secondary_;
    if (percent != shown_percent_secondary_) {
      shown_percent_secondary_ = percent;
      SendDlgItemMessageW(window_, IDC_PROGRESS_BAR_SECONDARY, PBM_SETPOS, percent, 0);
    }
  }
}

void progress_dialog::on_command(int id) {
  switch (id) {
    case IDC_PROGRESS_PAUSE:
      if (flags_ & threaded_process::flag_show_pause)
        paused_ = SendDlgItemMessageW(window_, IDC_PROGRESS_PAUSE, BM_GETCHECK, 0, 0) == BST_CHECKED;
      break;
    case IDC_PROGRESS_ABORT:  // also Escape and the close box
      if (flags_ & threaded_process::flag_show_abort) {
        abort_.raise();
        aborted_ = true;
      }
      break;
    case IDC_PROGRESS_MINIMIZE:
      if (flags_ & threaded_process::flag_show_minimize) ShowWindow(GetParent(window_), SW_SHOWMINIMIZED);
      break;
    default:
      break;
  }
}

void progress_dialog::on_worker_done() {
  if (ending_ || !worker_finished_) return;
  ending_ = true;
  succeeded_ = !aborted_;
  join_worker();
  // on_done may end the window itself (a caller closing the dialog's parent,
  // perhaps from a message box it shows): the object then outlives the
  // window until on_done has returned.
  in_on_done_ = true;
  std::exception_ptr failure;
  try {
    callback_->on_done(window_, !succeeded_);
  } catch (...) {
    failure = std::current_exception();
  }
  in_on_done_ = false;
  const bool modal = modal_;
  const std::string caption = failure ? failure_caption() : std::string();
  finish_after_done();  // a modeless dialog is deleted by this: touch nothing after it
  if (!failure) return;
  // A modal run hands the failure to its caller. A modeless one has no
  // caller left: it says so as a failure of the worker is said, and the
  // program goes on; only an internal error goes further, to end it.
  if (modal) std::rethrow_exception(failure);
  try {
    std::rethrow_exception(failure);
  } catch (const qiv::exception_bug_check&) {
    throw;
  } catch (const std::exception& error) {
    show_failure(error, caption);
  }
}

std::string progress_dialog::failure_caption() {
  try {
    std::string caption = "Unhandled exception in \"";
    {
      critical_section_lock hold(lock_);
      caption += title_;
    }
    caption += '"';
    return caption;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

void progress_dialog::show_failure(const std::exception& error, const std::string& caption) noexcept {
  try {
    qiv::string_buffer text;
    failure_text(error, text);
    popup_message_show(text.get_ptr(), caption.c_str());
  } catch (...) {
    // Out of memory for the popup too: the debugger output, which takes no
    // memory of ours, is what is left.
    OutputDebugStringA(error.what());
  }
}

void progress_dialog::finish_after_done() {
  if (delete_pending_) {
    delete this;
    return;
  }
  close_window();
}

void progress_dialog::close_window() {
  if (modal_) EndDialog(window_, succeeded_ ? 1 : 2);
  else if (!destroyed_) DestroyWindow(window_);
}

void progress_dialog::join_worker() noexcept {
  abort_.raise();
  worker_.wait_till_done();
}

void progress_dialog::store_item(const char* text, std::size_t length, bool is_path) {
  if (abort_.is_set()) return;
  std::string value = text_of(text, length);
  critical_section_lock hold(lock_);
  item_ = std::move(value);
  item_is_path_ = is_path;
}

void progress_dialog::set_progress(std::uint32_t value) { percent_ = percent_of(value); }

void progress_dialog::set_progress_secondary(std::uint32_t value) { percent_secondary_ = percent_of(value); }

void progress_dialog::set_item(const char* text, std::size_t length) { store_item(text, length, false); }

void progress_dialog::set_item_path(const char* text, std::size_t length) { store_item(text, length, true); }

void progress_dialog::set_title(const char* text, std::size_t length) {
  if (abort_.is_set()) return;
  std::string value = text_of(text, length);
  {
    critical_section_lock hold(lock_);
    title_ = std::move(value);
  }
  PostMessageW(window_, refresh_message, 0, 0);
}

void progress_dialog::force_update() {
  if (abort_.is_set()) return;
  PostMessageW(window_, refresh_message, 0, 0);
}

bool progress_dialog::is_paused() { return paused_; }

bool progress_dialog::check_pause() {
  while (paused_) {
    if (!abort_.wait(0.01)) return false;
  }
  return true;
}
