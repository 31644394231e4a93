#include "properties/field_edit_dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "foundation/case_folding.h"
#include "foundation/clipboard_text.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "metadata/track_info.h"
#include "properties/autofill_text.h"
#include "properties/dialog_key_filters.h"
#include "properties/list_menu_routines.h"
#include "properties/properties_histories.h"
#include "properties/sub_dialog_ending.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/edit_autocomplete.h"
#include "ui/framework/edit_wrapping.h"
#include "ui/framework/inplace_edit_host.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_placement.h"
#include "ui/menus/balloon_tip.h"
#include "ui/framework/window_utilities.h"

namespace {

// No limit of its own (0 is the control's largest): a field of many values
// may hold any length, and keys typed past a limit would be dropped unseen.
constexpr UINT value_box_limit = 0;
enum : UINT { menu_copy = 1, menu_paste = 2 };
enum : int { single_value_tab = 0, individual_values_tab = 1 };

std::string file_name_of(const track_handle_ptr& track) { return path_tail(track->get_location().get_path(), 0); }

bool names_equal_ascii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
           return fold(x) == fold(y);
         });
}

class field_edit_dialog;

// The per-track value cells of the tabbed variant: the value column is
// edited in place, the item column only shown (committing it stores
// nothing).
class value_cells final : public inplace_edit_host {
public:
  value_cells(field_edit_dialog& dialog) noexcept : dialog_(dialog) {}

protected:
  HWND get_list() override;
  int get_column_count() override { return 3; }
  bool is_column_editable(int column) override { return column == 1 || column == 2; }
  unsigned get_edit_flags(int, int column) override { return column == 2 ? 0u : unsigned(inplace_edit::flag_read_only); }
  bool get_cell_text(int item, int column, std::string& out, unsigned& line_count) override;
  void set_cell_text(int item, int column, const char* text) override;
  bool next_cell(int&, int&, unsigned) override { return false; }

private:
  field_edit_dialog& dialog_;
};

class field_edit_dialog final : public dialog_object {
  friend class value_cells;

public:
  field_edit_dialog(edited_field_ptr field, const track_handle_list& tracks, std::vector<std::string> existing_names,
                    const field_display_context& context, bool add_new, service_ptr<metadata_completion> completion)
      : field_(std::move(field)), tracks_(tracks), existing_names_(std::move(existing_names)), context_(context),
        add_new_(add_new), tabbed_(tracks.size() != 1), completion_(std::move(completion)),
        placement_(config::value_split_window) {
    static constexpr std::uint32_t anchors[] = {
        dialog_resizer::packed(IDC_FIELD_NAME, dialog_resizer::stretch_x),
        dialog_resizer::packed(IDC_FIELD_VALUE, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDC_FIELD_TABS, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDC_FIELD_SINGLE_VALUE, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDC_FIELD_VALUE_LIST, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDC_FIELD_NOTICE, dialog_resizer::stretch_x | dialog_resizer::move_y),
        dialog_resizer::packed(IDOK, dialog_resizer::move_x | dialog_resizer::move_y),
        dialog_resizer::packed(IDCANCEL, dialog_resizer::move_x | dialog_resizer::move_y),
    };
    resizer_.set_packed_anchors(anchors, std::size(anchors));
    resizer_.minimum_size_dialog_units = tabbed_ ? SIZE{275, 200} : SIZE{275, 100};
    if (tabbed_) tab_keys_ = std::make_unique<tab_key_filter>();
  }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
    // The pages take the tab's area before the layout is captured, and a
    // restored size comes after it, so that the controls follow it.
    if (message == WM_INITDIALOG && tabbed_) place_pages(window);
    registration_.process_message(window, message);
    if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
    placement_.on_message(window, message);
    switch (message) {
    case WM_INITDIALOG:
      on_init();
      result = FALSE;
      return true;
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam));
      return true;
    case WM_NOTIFY:
      return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) != list_) return false;
      show_list_menu({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return true;
    case WM_DESTROY:
      on_destroy();
      return false;
    default:
      return false;
    }
  }

  void on_final_message(HWND) override { delete this; }

private:
  void on_init() {
    const HWND window = handle();
    name_box_ = GetDlgItem(window, IDC_FIELD_NAME);
    if (tab_keys_) tab_keys_->attach(window);
    help_key_.emplace(window);
    static constexpr std::pair<int, const char*> labels[] = {
        {IDOK, "dialog_ok"},
        {IDCANCEL, "dialog_cancel"},
        {IDC_FIELD_NOTICE, "properties_semicolon_notice"},
        {IDC_FIELD_NAME_LABEL, "properties_field_name_prefix"},
        {IDC_FIELD_VALUE_LABEL, "properties_field_value_prefix"},
    };
    for (const auto& [id, text_id] : labels)
      if (HWND control = GetDlgItem(window, id)) SetWindowTextW(control, localized_text::to_wide(text_id).get_ptr());
    add_modal_dialog_frame(window);

    qiv::string_buffer caption;
    if (add_new_) {
      localized_text::get("properties_title_add_new", caption);
    } else {
      localized_values values;
      values.find_or_add(qiv::string_small("field"),
                         qiv::string_small(context_.display_name(field_->name).c_str()));
      localized_text_format("properties_title_edit", values, caption);
    }
    set_window_text_utf8(window, caption.get_ptr());

    if (add_new_) {
      edit_history::attach_combo(name_box_, field_name_history());
      check_name();
    } else {
      qiv::string_buffer upper;
      qiv::string_add_upper(upper, field_->name.c_str());
      set_window_text_utf8(name_box_, tabbed_ ? upper.get_ptr() : field_->name.c_str());
      EnableWindow(GetDlgItem(window, IDC_FIELD_NOTICE), context_.is_multi_value(field_->name));
    }

    if (!tabbed_) {
      value_box_ = GetDlgItem(window, IDC_FIELD_VALUE);
      SendMessageW(value_box_, EM_SETLIMITTEXT, value_box_limit, 0);
      write_value_box(field_->display_text());
      modified_ = false;
      SetFocus(add_new_ ? name_box_ : value_box_);
    } else {
      set_up_tabbed();
    }
    ShowWindow(window, SW_SHOW);
  }

  void place_pages(HWND window) {
    tabs_ = GetDlgItem(window, IDC_FIELD_TABS);
    value_box_ = GetDlgItem(window, IDC_FIELD_SINGLE_VALUE);
    list_ = GetDlgItem(window, IDC_FIELD_VALUE_LIST);
    scrolling_.attach_to(list_);
    tab_insert_item(tabs_, single_value_tab, localized_text::to_wide("properties_edit_tab_single_value").get_ptr());
    tab_insert_item(tabs_, individual_values_tab,
                    localized_text::to_wide("properties_edit_tab_individual_values").get_ptr());
    RECT page;
    GetWindowRect(tabs_, &page);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&page), 2);
    TabCtrl_AdjustRect(tabs_, FALSE, &page);
    for (HWND control : {value_box_, list_})
      SetWindowPos(control, HWND_TOP, page.left, page.top, page.right - page.left, page.bottom - page.top,
                   SWP_NOACTIVATE);
  }

  void set_up_tabbed() {
    SendMessageW(value_box_, EM_SETLIMITTEXT, value_box_limit, 0);
    SetWindowTheme(list_, L"explorer", nullptr);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    list_view_insert_column(list_, 0, "#", 25);
    LVCOLUMNW right = {};
    right.mask = LVCF_FMT;
    right.fmt = LVCFMT_RIGHT;
    SendMessageW(list_, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&right));
    list_view_insert_column(list_, 1, localized_text_get("properties_tableedit_column_item"), 50);
    list_view_insert_column(list_, 2,
                            add_new_ ? localized_text_get("dialog_column_value")
                                     : context_.display_name(field_->name).c_str(),
                            150);
    const config_int32* widths[] = {&config::value_split_layout_1, &config::value_split_layout_2,
                                    &config::value_split_layout_3};
    for (int column = 0; column < 3; ++column)
      if (widths[column]->get() >= 0) SendMessageW(list_, LVM_SETCOLUMNWIDTH, column, widths[column]->get());

    const int tab = field_->all_identical() && field_->any_value() ? single_value_tab : individual_values_tab;
    TabCtrl_SetCurSel(tabs_, tab);
    show_page(tab);
    if (add_new_) SetFocus(name_box_);
  }

  void on_destroy() {
    if (list_ != nullptr) {
      config_int32* widths[] = {&config::value_split_layout_1, &config::value_split_layout_2,
                                &config::value_split_layout_3};
      for (int column = 0; column < 3; ++column) {
        const int width = int(SendMessageW(list_, LVM_GETCOLUMNWIDTH, column, 0));
        if (width >= 0) widths[column]->set(width);
      }
    }
    tab_keys_.reset();
    help_key_.reset();
  }

  void on_command(UINT id, UINT code) {
    switch (id) {
    case IDOK:
      cells_.end(true);
      on_ok();
      return;
    case IDCANCEL:
      cells_.end(false);
      close(field_edit_cancelled);
      return;
    case IDC_FIELD_NAME:
      if (add_new_ && code == CBN_SELCHANGE)
        // The box's text is the chosen entry only after this notification.
        PostMessageW(handle(), WM_COMMAND, MAKEWPARAM(IDC_FIELD_NAME, CBN_EDITCHANGE), LPARAM(name_box_));
      else if (add_new_ && code == CBN_EDITCHANGE)
        check_name();
      return;
    case IDC_FIELD_VALUE:
    case IDC_FIELD_SINGLE_VALUE:
      on_value_box(code);
      return;
    case command_next_tab:
    case command_previous_tab:
      if (tabbed_) {
        cells_.end(true);
        const int tab = TabCtrl_GetCurSel(tabs_) == single_value_tab ? individual_values_tab : single_value_tab;
        TabCtrl_SetCurSel(tabs_, tab);
        show_page(tab);
      }
      return;
    default:
      return;
    }
  }

  void on_value_box(UINT code) {
    // The program's own writes (and the swap of the box they may make) are
    // no edits or focus changes of the user.
    if (writing_) return;
    if (code == EN_CHANGE) {
      modified_ = true;
      if (tabbed_) field_->set_value(read_text(value_box_), edited_field::all_tracks, context_);
    } else if (tabbed_ && code == EN_SETFOCUS && !field_->all_identical()) {
      write_value_box("");
    } else if (tabbed_ && code == EN_KILLFOCUS && !field_->all_identical()) {
      write_value_box(field_->display_text());
    }
  }

  std::string read_text(HWND control) const {
    qiv::string_buffer text;
    get_edit_text_utf8(control, text);
    return text.get_ptr();
  }

  void write_value_box(const std::string& text) {
    writing_ = true;
    if (too_long_to_wrap(text)) value_box_ = replace_with_unwrapped_edit(value_box_);
    set_edit_text_utf8(value_box_, text.c_str());
    writing_ = false;
  }

  void check_name() {
    const std::string name = read_text(name_box_);
    const bool valid = track_info::is_valid_field_name(name.c_str());
    EnableWindow(GetDlgItem(handle(), IDOK), valid);
    if (!name.empty() && !valid) name_tip_.show_balloon_tip(localized_text_get("properties_valid_field_name_notice"), name_box_);
    else name_tip_.hide_balloon_tip();
    field_->name = name;
    EnableWindow(GetDlgItem(handle(), IDC_FIELD_NOTICE), context_.is_multi_value(name));
  }

  void on_ok() {
    if (add_new_) {
      const std::string name = read_text(name_box_);
      if (!track_info::is_valid_field_name(name.c_str())) {
        MessageBeep(0);
        SetFocus(name_box_);
        return;
      }
      if (modal_allowed() && std::any_of(existing_names_.begin(), existing_names_.end(),
                                         [&](const std::string& existing) { return names_equal_ascii(existing, name); })) {
        qiv::string_buffer caption;
        get_window_text_utf8(handle(), caption);
        int answer;
        {
          modal_scope scope;
          scope.enter(handle());
          answer = message_box_utf8(handle(), localized_text_get("properties_field_overwrite_notice"),
                                    caption.get_ptr(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        }
        if (answer != IDYES) return;
      }
      field_name_history().add(name);
      field_->name = name;
      if (!tabbed_) field_->set_value(read_text(value_box_), edited_field::all_tracks, context_);
      close(field_edit_accepted);
      return;
    }
    if (!tabbed_) {
      if (!modified_) {
        close(field_edit_cancelled);
        return;
      }
      field_->set_value(read_text(value_box_), edited_field::all_tracks, context_);
      close(field_edit_accepted);
      return;
    }
    close(modified_ ? field_edit_accepted : field_edit_cancelled);
  }

  void close(std::uint32_t result) { end_sub_dialog(handle(), std::move(completion_), result); }

  // Tabbed variant: the two pages.
  void show_page(int tab) {
    if (tab == single_value_tab) {
      ShowWindow(list_, SW_HIDE);
      write_value_box(field_->display_text());
      ShowWindow(value_box_, SW_SHOW);
      SetFocus(value_box_);
    } else {
      ShowWindow(value_box_, SW_HIDE);
      write_value_box("");
      SendMessageW(list_, LVM_SETITEMCOUNT, field_->track_count, 0);
      ShowWindow(list_, SW_SHOW);
      SetFocus(list_);
    }
  }

  bool on_notify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
      show_page(TabCtrl_GetCurSel(tabs_));
      return true;
    }
    if (header.hwndFrom != list_) return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      if ((info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) return true;
      const std::uint32_t track = std::uint32_t(info.item.iItem);
      std::string text;
      if (info.item.iSubItem == 0) text = std::to_string(track + 1);
      else if (info.item.iSubItem == 1 && track < tracks_.size()) text = file_name_of(tracks_[track]);
      else if (info.item.iSubItem == 2) text = first_line_marked(field_->joined_value(track));
      const qiv::wide_buffer wide = qiv::utf8_to_wide_buffer(text.c_str(), text.size());
      lstrcpynW(info.item.pszText, wide.get_ptr() ? wide.get_ptr() : L"", info.item.cchTextMax);
      return true;
    }
    case NM_CLICK: {
      const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
      if (click.iItem >= 0 && (click.iSubItem == 1 || click.iSubItem == 2)) cells_.begin_edit(click.iItem, click.iSubItem);
      return true;
    }
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
      const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
      result = 0;
      if (key == VK_F2) {
        const int focused = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
        // Shift+F2 shows the item's name, F2 edits its value.
        if (focused >= 0) cells_.begin_edit(focused, (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? 1 : 2);
      } else if (key == VK_DELETE) clear_selected_values();
      else if (control && key == 'A') list_view_set_item_state(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
      else if (control && key == 'C') copy_values();
      else if (control && key == 'V') paste_values();
      return true;
    }
    default:
      return false;
    }
  }

  std::vector<std::uint32_t> selected_tracks() const {
    std::vector<std::uint32_t> tracks;
    for (int item = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); item >= 0;
         item = int(SendMessageW(list_, LVM_GETNEXTITEM, item, LVNI_SELECTED)))
      tracks.push_back(std::uint32_t(item));
    return tracks;
  }

  void set_track_value(std::uint32_t track, const std::string& text) {
    field_->set_value(text, track, context_);
    SendMessageW(list_, LVM_REDRAWITEMS, track, track);
    modified_ = true;
  }

  void clear_selected_values() {
    for (std::uint32_t track : selected_tracks()) set_track_value(track, std::string());
  }

  void copy_values() {
    const std::vector<std::uint32_t> tracks = selected_tracks();
    if (tracks.empty()) return;
    std::string text;
    if (tracks.size() == 1) {
      text = field_->joined_value(tracks[0]);
    } else {
      for (std::uint32_t track : tracks) text += first_line_marked(field_->joined_value(track)) + "\r\n";
    }
    set_clipboard_text_utf8(text.c_str());
  }

  void paste_values() {
    qiv::string_buffer text;
    if (!get_clipboard_text_utf8(text)) return;
    const std::vector<std::uint32_t> tracks = selected_tracks();
    if (tracks.size() == 1) {
      set_track_value(tracks[0], text.get_ptr());
      return;
    }
    std::vector<std::string> lines = split_lines(text.get_ptr());
    for (std::string& line : lines) line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    for (std::size_t i = 0; i < tracks.size(); ++i) set_track_value(tracks[i], i < lines.size() ? lines[i] : "");
  }

  void show_list_menu(POINT point) {
    if (selected_tracks().empty() || !modal_allowed()) return;
    point = context_menu_point(list_, point);
    menu_handle menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, menu_copy, localized_text::to_wide("properties_menu_copy").get_ptr());
    AppendMenuW(menu.get(), MF_STRING, menu_paste, localized_text::to_wide("properties_menu_paste").get_ptr());
    const UINT id = UINT(TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, point.x,
                                          point.y, handle(), nullptr));
    if (id == menu_copy) copy_values();
    else if (id == menu_paste) paste_values();
  }

  edited_field_ptr field_;
  track_handle_list tracks_;
  std::vector<std::string> existing_names_;
  field_display_context context_;
  const bool add_new_;
  const bool tabbed_;
  service_ptr<metadata_completion> completion_;
  window_placement_keeper placement_;
  value_cells cells_{*this};
  dialog_resizer resizer_;
  modeless_dialog_registration registration_;
  std::unique_ptr<tab_key_filter> tab_keys_;
  std::optional<context_help_filter> help_key_;
  list_view_ctrl scrolling_;
  balloon_tip name_tip_;
  HWND name_box_ = nullptr;
  HWND value_box_ = nullptr;
  HWND tabs_ = nullptr;
  HWND list_ = nullptr;
  bool modified_ = false;
  bool writing_ = false;
};

HWND value_cells::get_list() { return dialog_.list_; }

bool value_cells::get_cell_text(int item, int column, std::string& out, unsigned& line_count) {
  const std::uint32_t track = std::uint32_t(item);
  if (item < 0 || track >= dialog_.field_->track_count) return false;
  out = column == 2 ? dialog_.field_->joined_value(track)
                    : track < dialog_.tracks_.size() ? file_name_of(dialog_.tracks_[track]) : std::string();
  const bool multi_line = column == 2 && (dialog_.context_.is_multi_line(dialog_.field_->name) ||
                                          out.find_first_of("\r\n") != std::string::npos);
  line_count = multi_line ? inplace_edit::multi_line_rows : 1;
  return true;
}

void value_cells::set_cell_text(int item, int column, const char* text) {
  if (column == 2 && item >= 0) dialog_.set_track_value(std::uint32_t(item), text);
}

}  // namespace

int field_edit_template(std::size_t track_count, bool add_new) {
  if (track_count == 1) return add_new ? IDD_FIELD_ADD_SIMPLE : IDD_FIELD_EDIT_SIMPLE;
  return add_new ? IDD_FIELD_ADD_TABBED : IDD_FIELD_EDIT_TABBED;
}

void open_field_edit_dialog(HWND owner, edited_field_ptr field, const track_handle_list& tracks,
                            std::vector<std::string> existing_names, const field_display_context& context,
                            bool add_new, service_ptr<metadata_completion> completion) {
  auto dialog = std::make_unique<field_edit_dialog>(std::move(field), tracks, std::move(existing_names), context,
                                                    add_new, std::move(completion));
  dialog->create_modeless(field_edit_template(tracks.size(), add_new), owner);
  dialog.release();
}
