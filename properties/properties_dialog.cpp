#include "properties/properties_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include "core/advanced_settings_registrations.h"
#include "core/config_item_registrations.h"
#include "core/failure_text.h"
#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "core/popup_message.h"
#include "core/service_factory.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/string_small.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "io/path_schemes.h"
#include "metadata/metadata_io_service.h"
#include "metadata/title/title_script.h"
#include "properties/field_edit_dialog.h"
#include "properties/list_menu_routines.h"
#include "properties/test_show_failure.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/window_utilities.h"


namespace {

// The window's own messages: the first argument is the item to edit in
// place, or -1 for the focused one.
constexpr UINT message_edit_metadata_cell = WM_APP;
constexpr UINT message_edit_properties_cell = WM_APP + 1;

// Reads the rows' infos from the dialog's cache.
class cache_info_source final : public track_info_source {
public:
  explicit cache_info_source(const info_cache& cache) : cache_(cache) {}
  const track_info* find_info(std::uint32_t, const track_handle_ptr& handle) override {
    const info_cache::entry* found = cache_.find(handle.get());
    return found == nullptr ? nullptr : &found->info;
  }

private:
  const info_cache& cache_;
};

bool any_remote(const track_handle_list& tracks) {
  for (const track_handle_ptr& handle : tracks)
    if (vantrel_io::is_remote(handle->get_location().get_path())) return true;
  return false;
}

void set_dialog_item_text_id(HWND window, int id, const char* text_id) {
  SetDlgItemTextW(window, id, localized_text::to_wide(text_id).get_ptr());
}

}  // namespace

namespace {
// Asked before the program quits (properties_quit_guard).
std::vector<properties_dialog*> open_properties_dialogs;
}  // namespace

const std::vector<properties_dialog*>& properties_dialog::open_dialogs() noexcept { return open_properties_dialogs; }

properties_dialog* properties_dialog::open(const track_handle_list& tracks, open_mode mode, HWND owner,
                                           service_ptr<info_cache> loaded) {
  auto* dialog = new properties_dialog(tracks, mode, std::move(loaded));
  try {
    dialog->create_modeless(IDD_PROPERTIES, owner);
  } catch (...) {
    delete dialog;
    throw;
  }
  return dialog;
}

properties_dialog::properties_dialog(const track_handle_list& tracks, open_mode mode, service_ptr<info_cache> loaded)
    : tracks_(tracks), mode_(mode), read_only_(any_remote(tracks)), placement_(config::properties_window),
      info_source_(std::move(loaded)) {
  tab_keys_ = std::make_unique<tab_key_filter>();
  static constexpr std::uint32_t anchors[] = {
      dialog_resizer::packed(IDC_PROPERTIES_TABS, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
      dialog_resizer::packed(IDC_PROPERTIES_METADATA_LIST, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
      dialog_resizer::packed(IDC_PROPERTIES_INFO_LIST, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
      dialog_resizer::packed(IDOK, dialog_resizer::move_x | dialog_resizer::move_y),
      dialog_resizer::packed(IDCANCEL, dialog_resizer::move_x | dialog_resizer::move_y),
      dialog_resizer::packed(IDC_PROPERTIES_APPLY, dialog_resizer::move_x | dialog_resizer::move_y),
      dialog_resizer::packed(IDC_PROPERTIES_TOOLS, dialog_resizer::move_y),
  };
  resizer_.set_packed_anchors(anchors, std::size(anchors));
  resizer_.minimum_size_dialog_units = {275, 150};
  open_properties_dialogs.push_back(this);
}

properties_dialog::~properties_dialog() {
  std::erase(open_properties_dialogs, this);
  if (pending_) pending_->detach();
}

bool properties_dialog::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                        DWORD) {
  // The lists take the tab's page before the layout is captured, and a
  // restored size comes after it, so that the controls follow it.
  if (message == WM_INITDIALOG) place_lists(window);
  registration_.process_message(window, message);
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  placement_.on_message(window, message);
  switch (message) {
  case WM_INITDIALOG:
    on_init_dialog();
    result = FALSE;  // the initial tab's list took the focus
    return true;
  case WM_DESTROY:
    on_destroy();
    return false;
  case WM_COMMAND:
    on_command(LOWORD(wparam));
    return true;
  case WM_NOTIFY:
    return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
  case WM_CONTEXTMENU: {
    const HWND list = reinterpret_cast<HWND>(wparam);
    if (list != metadata_list_ && list != info_list_) return false;
    if (list == info_list_ && selected_count(info_list_) == 0) return true;
    POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    show_menu(context_menu_point(list, point), list, false);
    return true;
  }
  case WM_NEXTDLGCTL:
    // Ctrl+Tab reaching the dialog manager as a move between controls.
    if (lparam == 0 && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
      step_tab();
      return true;
    }
    return false;
  case message_edit_metadata_cell:
  case message_edit_properties_cell: {
    const HWND list = message == message_edit_metadata_cell ? metadata_list_ : info_list_;
    if (int(wparam) >= 0) list_view_select_only(list, int(wparam));
    if (!is_busy()) begin_cell_edit(list, int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED)));
    return true;
  }
  default:
    return false;
  }
}

void properties_dialog::on_init_dialog() {
  const HWND window = handle();
  tab_keys_->attach(window);
  help_key_.emplace(window);
  apply_button_ = GetDlgItem(window, IDC_PROPERTIES_APPLY);
  set_up_lists();

  int tab = 0;
  if (mode_ == properties_tab || (mode_ != metadata_tab && (GetKeyState(VK_SHIFT) & 0x8000) != 0)) tab = 1;
  TabCtrl_SetCurSel(tabs_, tab);
  show_tab(tab);

  add_modal_dialog_frame(window);
  set_dialog_item_text_id(window, IDOK, "dialog_ok");
  set_dialog_item_text_id(window, IDCANCEL, "dialog_cancel");
  set_dialog_item_text_id(window, IDC_PROPERTIES_APPLY, "dialog_apply");
  set_dialog_item_text_id(window, IDC_PROPERTIES_TOOLS, "dialog_tools");
  if (rebuild("properties_show_failed")) ShowWindow(window, SW_SHOW);
}

void properties_dialog::on_destroy() {
  store_column_widths();
  if (pending_) {
    pending_->detach();
    pending_.reset();
  }
  tab_keys_.reset();
  help_key_.reset();
}

bool properties_dialog::is_busy() const {
  return pending_ || !IsWindowEnabled(handle()) || metadata_editor_.is_editing() || info_editor_.is_editing();
}

void properties_dialog::mark_modified() {
  if (!read_only_) modified_ = true;
  EnableWindow(apply_button_, modified_);
}

bool properties_dialog::rebuild(const char* failure_text_id) {
  try {
    fail_showing_tracks_if_asked();
    cache_info_source source(*info_source_);
    rows_.build(context_, source, tracks_);
    modified_ = false;
    EnableWindow(apply_button_, FALSE);
    fill_metadata_list();
    fill_properties_list();
    update_caption();
    return true;
  } catch (const std::bad_alloc&) {
    close_for_failure(failure_text_id, localized_text_get("properties_not_enough_memory"));
  } catch (const std::exception& error) {
    close_for_failure(failure_text_id, error.what());
  } catch (...) {
    close_for_failure(failure_text_id, localized_text_get("ui_unhandled_error_caption"));
  }
  return false;
}

void properties_dialog::close_for_failure(const char* text_id, const char* reason) {
  // A dialog that cannot show its tracks must not offer to write them. What
  // it held goes first: the message may need that memory.
  close_without_prompt_ = true;
  EnableWindow(handle(), FALSE);
  try {
    SendMessageW(metadata_list_, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(info_list_, LVM_DELETEALLITEMS, 0, 0);
    rows_ = edited_rows();
    info_source_.reset();
    localized_values values;
    values.find_or_add(qiv::string_small("error"), qiv::string_small(reason));
    qiv::string_buffer text;
    localized_text_format(text_id, values, text);
    // The popup outlives the dialog, which closes at once.
    popup_message_show(text.get_ptr(), localized_text_get("dialog_information"));
  } catch (...) {
    // Closing is still the safe end.
  }
  PostMessageW(handle(), WM_COMMAND, IDCANCEL, 0);
}

service_ptr<properties_dialog::operation_completion> properties_dialog::start_operation(operation_kind kind,
                                                                                         service_ptr<info_cache> next) {
  if (pending_) pending_->detach();
  // An operation's cache starts as a copy of the dialog's and becomes the
  // dialog's at the completion, before anything reads it. Kept meanwhile,
  // the dialog's own would hold every entry the operation replaces beside
  // the new one: twice the tags of a large selection at once.
  if (next) info_source_.reset();
  pending_ = new service_counted<operation_completion>();
  pending_->set(this, kind, std::move(next));
  EnableWindow(handle(), FALSE);
  return pending_;
}

const char* properties_dialog::show_failure_text(operation_kind kind, std::uint32_t status) noexcept {
  switch (kind) {
  case apply_only:
  case apply_and_close:
  case apply_and_reload:
  case reload_after_apply:
    return "properties_show_failed_after_apply";  // shown only after a full write
  case remove_tags_kind:
    if (status == metadata_completion::code_nothing_changed) return "properties_show_failed_after_failed_removal";
    if (status == metadata_completion::code_aborted) return "properties_show_failed_after_stopped_removal";
    if (status == metadata_completion::code_failures) return "properties_show_failed_after_partial_removal";
    return "properties_show_failed_after_removal";
  default:
    return "properties_show_failed";
  }
}

void properties_dialog::abandon_operation(service_ptr<info_cache> next) {
  if (pending_) pending_->detach();
  pending_.reset();
  if (applying_) std::exchange(applying_, {})->release_rows();
  // The copy holds what the dialog's own cache held.
  info_source_ = std::move(next);
  EnableWindow(handle(), TRUE);
}

void properties_dialog::complete(operation_kind kind, std::uint32_t status, service_ptr<info_cache> next) {
  EnableWindow(handle(), TRUE);
  pending_.reset();
  if (applying_) std::exchange(applying_, {})->release_rows();
  // Also after a failed operation: it stored what it read, and that is now
  // the newest state of the files.
  if (next) info_source_ = std::move(next);
  switch (kind) {
  case edit_field:
  case add_field:
  case table_edit:
  case auto_fill:
  case split_values:
    take_sub_dialog_result(kind, status);
    break;
  case apply_only:
  case apply_and_close:
  case apply_and_reload:
    // Every file holds the edit even where the tracks could not store what
    // was read back (the dialog's own cache has it): the edit is done.
    if (status != metadata_completion::code_success && status != metadata_completion::code_files_done_not_stored)
      break;
    // A dialog about to close need not show the written tracks.
    if (kind == apply_and_close) {
      DestroyWindow(handle());
    } else if (rebuild(show_failure_text(kind, status)) && kind == apply_and_reload) {
      // Starting the reload takes a copy of the cache: memory may not last.
      try {
        reload(reload_after_apply);
      } catch (const std::bad_alloc&) {
        close_for_failure(show_failure_text(kind, status), localized_text_get("properties_not_enough_memory"));
      }
    }
    break;
  case reload_info:
  case reload_after_apply:
  case remove_tags_kind:
    rebuild(show_failure_text(kind, status));
    break;
  default:
    break;
  }
}

void properties_dialog::take_sub_dialog_result(operation_kind kind, std::uint32_t status) noexcept {
  // The sub-dialog waits for this to end before its window goes. A result
  // that cannot be taken (memory running out as it is laid out for every
  // track) may leave rows half changed: the dialog closes, as when it cannot
  // show its tracks, and says that nothing was written.
  try {
    static_assert(std::uint32_t(field_edit_accepted) == std::uint32_t(sub_dialog_accepted));
    if (status == sub_dialog_accepted) fail_showing_tracks_if_asked();
    switch (kind) {
    case edit_field:
    case add_field:
      take_edited_field(status);
      break;
    case table_edit:
      take_table_edit(status);
      break;
    case auto_fill:
      take_autofill(status);
      break;
    case split_values:
      take_split_values(status);
      break;
    default:
      break;
    }
  } catch (const std::exception& error) {
    qiv::string_small reason;
    try {
      failure_text(error, reason);
    } catch (const std::bad_alloc&) {
    }
    close_for_failure("properties_show_failed", reason.get_ptr());
  } catch (...) {
    close_for_failure("properties_show_failed", localized_text_get("ui_unhandled_error_caption"));
  }
}

void properties_dialog::take_edited_field(std::uint32_t status) {
  edited_field_ptr field = std::move(field_under_edit_);
  const std::int64_t row = std::exchange(field_row_, -1);
  if (status != field_edit_accepted || !field) return;
  if (row < 0) {
    const std::size_t before = rows_.rows().size();
    const std::size_t index = rows_.set_row_by_name(field);
    if (rows_.rows().size() > before) append_row(index);
    else redraw_row(index);
    mark_modified();
  } else {
    rows_.replace_row(std::size_t(row), field);
    redraw_row(std::size_t(row));
  }
}

void properties_dialog::reload(operation_kind kind) {
  if (is_busy()) return;
  service_ptr<info_cache> next = info_cache::create(info_source_.get());
  service_ptr<operation_completion> completion = start_operation(kind, next);
  try {
    metadata_io_service::get()->load_info_async(tracks_, metadata_load_mode::all, handle(), 0, next.get(),
                                                completion.get());
  } catch (...) {
    abandon_operation(std::move(next));
    throw;
  }
}

void properties_dialog::apply(operation_kind kind) {
  // Remote tracks are shown, never written.
  if (is_busy() || read_only_) return;
  service_ptr<info_cache> next = info_cache::create(info_source_.get());
  service_ptr<operation_completion> completion = start_operation(kind, next);
  // The progress dialog shows only when the writing takes longer than a
  // moment: the disabled dialog already says that something runs, and a
  // window that flashes up for every small Apply costs more than the write.
  try {
    applying_ = rows_.make_update_filter();
    metadata_io_service::get()->update_info_async(tracks_, applying_.get(), handle(), metadata_flag_delayed,
                                                  next.get(), completion.get());
  } catch (...) {
    abandon_operation(std::move(next));
    throw;
  }
}

void properties_dialog::remove_tags() {
  if (is_busy() || read_only_) return;
  cancel_cell_edit();
  if (!modal_allowed()) {
    activate_blocked_popup();
    return;
  }
  int answer;
  {
    modal_scope scope;
    scope.enter(handle());
    answer = message_box_utf8(handle(), localized_text_get("properties_remove_tag_notice"),
                              localized_text_get("dialog_warning"), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
  }
  if (answer != IDYES) return;
  service_ptr<info_cache> next = info_cache::create(info_source_.get());
  service_ptr<operation_completion> completion = start_operation(remove_tags_kind, next);
  try {
    metadata_io_service::get()->remove_info_async(tracks_, handle(), 0, next.get(), completion.get());
  } catch (...) {
    abandon_operation(std::move(next));
    throw;
  }
}

bool properties_dialog::ask_save(operation_kind kind) {
  if (!modified_ || !modal_allowed()) return true;
  int answer;
  {
    modal_scope scope;
    scope.enter(handle());
    answer = message_box_utf8(handle(), localized_text_get("dialog_save_changes_notice"),
                              localized_text_get("properties_caption"), MB_YESNOCANCEL | MB_ICONQUESTION);
  }
  if (answer == IDYES) {
    apply(kind);
    return false;
  }
  return answer == IDNO;
}

void properties_dialog::on_command(UINT id) {
  switch (id) {
  case IDOK:
    commit_cell_edit();
    if (is_busy()) return;
    if (modified_) apply(apply_and_close);
    else close_window();
    return;
  case IDCANCEL:
    cancel_cell_edit();
    if (!close_without_prompt_ && (is_busy() || !ask_save(apply_and_close))) return;
    close_window();
    return;
  case IDC_PROPERTIES_APPLY:
    commit_cell_edit();
    if (is_busy()) return;
    apply(apply_only);
    return;
  case IDC_PROPERTIES_TOOLS: {
    if (is_busy()) return;
    RECT button;
    GetWindowRect(GetDlgItem(handle(), IDC_PROPERTIES_TOOLS), &button);
    const HWND list = TabCtrl_GetCurSel(tabs_) == 0 ? metadata_list_ : info_list_;
    show_menu({button.left, button.bottom}, list, true);
    return;
  }
  case command_next_tab:
  case command_previous_tab:
    step_tab();
    return;
  default:
    return;
  }
}

void properties_dialog::close_window() {
  DestroyWindow(handle());
}

void properties_dialog::update_caption() {
  qiv::string_buffer pattern;
  advanced_settings::title_display_format.get_state(pattern);
  const qiv::ref_ptr<title_script> script = title_script::compile(pattern.get_ptr());
  item_names_.clear();
  for (const track_handle_ptr& handle : tracks_) {
    qiv::string_buffer name;
    handle->evaluate_script_locked(nullptr, name, *script);
    item_names_.emplace_back(name.get_ptr());
  }
  localized_values values;
  qiv::string_buffer caption;
  if (item_names_.size() == 1) {
    values.find_or_add(qiv::string_small("item"), qiv::string_small(item_names_[0].c_str()));
    localized_text_format("properties_caption_single", values, caption);
  } else {
    std::string items;
    for (std::size_t i = 0; i < item_names_.size(); ++i) {
      if (i == 4) {
        items += " ...";
        break;
      }
      if (i > 0) items += ", ";
      items += "\"" + item_names_[i] + "\"";
    }
    values.find_or_add(qiv::string_small("count"), qiv::string_small(std::to_string(item_names_.size()).c_str()));
    values.find_or_add(qiv::string_small("items"), qiv::string_small(items.c_str()));
    localized_text_format("properties_caption_multi", values, caption);
  }
  set_window_text_utf8(handle(), caption.get_ptr());
}
