// The two lists of the properties dialog: the metadata list (one editable
// row per field) and the properties list (technical information in groups),
// their context menus with the Tools entries, their keys and mouse actions,
// the plain-text and private clipboard forms, and the column widths.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/service_registry.h"
#include "foundation/case_folding.h"
#include "foundation/clipboard_text.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/win32_handles.h"
#include "foundation/wide_buffer.h"
#include "foundation/window_text.h"
#include "properties/autofill_text.h"
#include "properties/field_clipboard.h"
#include "properties/field_edit_dialog.h"
#include "properties/info_row_collector.h"
#include "properties/list_menu_routines.h"
#include "properties/properties_dialog.h"
#include "properties/technical_info_rows.h"
#include "properties/value_case_transforms.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/window_utilities.h"

namespace {

enum metadata_command : UINT {
  command_reload = 1,
  command_remove_tags = 2,
  command_edit = 3,
  command_edit_in_place = 4,
  command_add_new_field = 5,
  command_remove = 6,
  command_crop = 7,
  command_copy = 8,
  command_cut = 9,
  command_paste = 10,
  command_paste_fields = 11,
  command_auto_track_number = 13,
  command_auto_fill = 14,
  command_capitalize = 15,
  command_clean_up = 16,
  command_split_values = 17,
};
constexpr UINT command_properties_copy = 4;

void set_up_list(HWND list) {
  SetWindowTheme(list, L"explorer", nullptr);
  const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
  list_view_insert_column(list, 0, localized_text_get("dialog_column_name"), 75);
  list_view_insert_column(list, 1, localized_text_get("dialog_column_value"), 150);
}

void apply_width(HWND list, int column, const config_int32& stored) {
  if (stored.get() >= 0) SendMessageW(list, LVM_SETCOLUMNWIDTH, column, stored.get());
}

void store_width(HWND list, int column, config_int32& stored) {
  const int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
  if (width >= 0) stored.set(width);
}

// The clipboard opened for one command; another program holding it is
// a failure of the command.
void open_clipboard(clipboard_scope& scope) {
  if (!scope.open()) throw exception_win32(GetLastError());
}

std::vector<int> selected_items(HWND list) {
  std::vector<int> items;
  for (int item = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); item >= 0;
       item = int(SendMessageW(list, LVM_GETNEXTITEM, item, LVNI_SELECTED)))
    items.push_back(item);
  return items;
}

bool control_held() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }
bool shift_held() { return (GetKeyState(VK_SHIFT) & 0x8000) != 0; }

}  // namespace

void properties_dialog::place_lists(HWND window) {
  tabs_ = GetDlgItem(window, IDC_PROPERTIES_TABS);
  metadata_list_ = GetDlgItem(window, IDC_PROPERTIES_METADATA_LIST);
  info_list_ = GetDlgItem(window, IDC_PROPERTIES_INFO_LIST);
  metadata_scrolling_.attach_to(metadata_list_);
  info_scrolling_.attach_to(info_list_);
  // The page's area is known once the tabs are there.
  tab_insert_item(tabs_, 0, localized_text::to_wide("properties_tab_metadata").get_ptr());
  tab_insert_item(tabs_, 1, localized_text::to_wide("properties_tab_properties").get_ptr());
  RECT area;
  GetWindowRect(tabs_, &area);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
  TabCtrl_AdjustRect(tabs_, FALSE, &area);
  for (HWND list : {metadata_list_, info_list_})
    SetWindowPos(list, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOACTIVATE);
}

void properties_dialog::set_up_lists() {
  for (HWND list : {metadata_list_, info_list_}) set_up_list(list);
  apply_width(metadata_list_, 0, config::properties_layout_1);
  apply_width(metadata_list_, 1, config::properties_layout_2);
  apply_width(info_list_, 0, config::properties_layout_3);
  apply_width(info_list_, 1, config::properties_layout_4);
}

void properties_dialog::store_column_widths() {
  store_width(metadata_list_, 0, config::properties_layout_1);
  store_width(metadata_list_, 1, config::properties_layout_2);
  store_width(info_list_, 0, config::properties_layout_3);
  store_width(info_list_, 1, config::properties_layout_4);
}

void properties_dialog::show_tab(int tab) {
  const HWND shown = tab == 0 ? metadata_list_ : info_list_;
  const HWND hidden = tab == 0 ? info_list_ : metadata_list_;
  ShowWindow(hidden, SW_HIDE);
  ShowWindow(shown, SW_SHOW);
  SetFocus(shown);
}

void properties_dialog::step_tab() {
  if (is_busy()) return;
  commit_cell_edit();
  const int tab = TabCtrl_GetCurSel(tabs_) == 0 ? 1 : 0;
  TabCtrl_SetCurSel(tabs_, tab);
  show_tab(tab);
}

void properties_dialog::fill_metadata_list() {
  SendMessageW(metadata_list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(metadata_list_, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < rows_.rows().size(); ++i) {
    const edited_field& row = *rows_.rows()[i];
    list_view_append_item(metadata_list_, -1, context_.display_name(row.name).c_str(), 0);
    list_view_set_item_text(metadata_list_, int(i), 1, first_line_marked(row.display_text()).c_str());
  }
  SendMessageW(metadata_list_, WM_SETREDRAW, TRUE, 0);
}

void properties_dialog::redraw_row(std::size_t index) {
  if (index < rows_.rows().size())
    list_view_set_item_text(metadata_list_, int(index), 1, first_line_marked(rows_.rows()[index]->display_text()).c_str());
  mark_modified();
}

void properties_dialog::append_row(std::size_t index) {
  const edited_field& row = *rows_.rows()[index];
  const int item = list_view_append_item(metadata_list_, -1, context_.display_name(row.name).c_str(), 0);
  list_view_set_item_text(metadata_list_, item, 1, first_line_marked(row.display_text()).c_str());
  list_view_select_only(metadata_list_, item);
}

void properties_dialog::fill_properties_list() {
  SendMessageW(info_list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(info_list_, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(info_list_, LVM_REMOVEALLGROUPS, 0, 0);
  SendMessageW(info_list_, LVM_ENABLEGROUPVIEW, TRUE, 0);

  info_row_collector collector;
  const auto providers = service_list_t<properties_info_provider>();
  for (std::size_t i = 0; i < providers.get_count(); ++i) providers[i]->list_rows(tracks_, *info_source_, collector);
  // The technical fields of a single track that no provider shows.
  const std::string other_group = localized_text_get("properties_group_other");
  if (tracks_.size() == 1) {
    if (const info_cache::entry* found = info_source_->find(tracks_[0].get())) {
      const track_info& info = found->info;
      for (std::uint32_t i = 0; i < info.tech_count(); ++i) {
        const char* name = info.tech_name(i);
        bool claimed = false;
        for (std::size_t p = 0; p < providers.get_count() && !claimed; ++p) claimed = providers[p]->claims_field(name);
        if (claimed) continue;
        qiv::string_buffer upper;
        qiv::string_add_upper(upper, name);
        collector.add_row(other_group, double(i), std::string("<") + upper.get_ptr() + ">", info.tech_value(i));
      }
    }
  }

  const std::vector<std::string> order = collector.ordered_groups(
      {localized_text_get("properties_group_location"), localized_text_get("properties_group_general"),
       localized_text_get("properties_group_replaygain")});
  std::vector<std::string> groups = order;
  // The "other" group goes last whatever its label sorts as.
  const auto other = std::find(groups.begin(), groups.end(), other_group);
  if (other != groups.end()) std::rotate(other, other + 1, groups.end());
  int group_id = 0;
  for (const std::string& label : groups) {
    ++group_id;
    std::wstring header = qiv::utf8_to_wide_buffer(label.c_str(), label.size()).get_ptr();
    LVGROUP group = {};
    group.cbSize = sizeof(group);
    group.mask = LVGF_HEADER | LVGF_GROUPID;
    group.pszHeader = header.data();
    group.iGroupId = group_id;
    SendMessageW(info_list_, LVM_INSERTGROUP, WPARAM(-1), reinterpret_cast<LPARAM>(&group));
    for (const info_row_collector::row& row : collector.rows_of(label)) {
      const int item = list_view_append_item(info_list_, -1, row.name.c_str(), 0);
      LVITEMW placement = {};
      placement.mask = LVIF_GROUPID;
      placement.iItem = item;
      placement.iGroupId = group_id;
      SendMessageW(info_list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&placement));
      list_view_set_item_text(info_list_, item, 1, row.value.c_str());
    }
  }
  SendMessageW(info_list_, WM_SETREDRAW, TRUE, 0);
}

std::size_t properties_dialog::selected_count(HWND list) const {
  return std::size_t(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
}

std::vector<bool> properties_dialog::selection_mask() const {
  std::vector<bool> mask(rows_.rows().size(), false);
  for (int item : selected_items(metadata_list_))
    if (std::size_t(item) < mask.size()) mask[std::size_t(item)] = true;
  return mask;
}

bool properties_dialog::on_notify(const NMHDR& header, LRESULT& result) {
  if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
    commit_cell_edit();
    show_tab(TabCtrl_GetCurSel(tabs_));
    return true;
  }
  if (header.hwndFrom != metadata_list_ && header.hwndFrom != info_list_) return false;
  const bool metadata = header.hwndFrom == metadata_list_;
  switch (header.code) {
  case LVN_KEYDOWN: {
    const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
    result = 0;
    if (metadata) on_metadata_key(key);
    else on_properties_key(key);
    return true;
  }
  case NM_DBLCLK: {
    if (!metadata || is_busy()) return true;
    const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
    if (activate.iItem >= 0) {
      list_view_select_only(metadata_list_, activate.iItem);
      edit_selected();
    } else {
      add_new_field();
    }
    return true;
  }
  case NM_CLICK: {
    const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
    if (activate.iItem >= 0 && activate.iSubItem == 1)
      PostMessageW(handle(), metadata ? WM_APP : WM_APP + 1, activate.iItem, 0);
    return true;
  }
  default:
    return false;
  }
}

bool properties_dialog::on_metadata_key(WORD key) {
  if (is_busy()) return true;
  const bool control = control_held();
  if (key == VK_DELETE && !control) run_metadata_command(command_remove);
  else if (key == VK_F2 && !control) PostMessageW(handle(), WM_APP, WPARAM(-1), 0);
  else if (!control) return false;
  else if (key == 'A') list_view_set_item_state(metadata_list_, -1, LVIS_SELECTED, LVIS_SELECTED);
  else if (key == 'C') run_metadata_command(command_copy);
  else if (key == 'X') run_metadata_command(command_cut);
  else if (key == 'V') run_metadata_command(shift_held() ? command_paste_fields : command_paste);
  else if (key == 'N') run_metadata_command(command_add_new_field);
  else return false;
  return true;
}

bool properties_dialog::on_properties_key(WORD key) {
  if (is_busy()) return true;
  if (key == VK_F2) PostMessageW(handle(), WM_APP + 1, WPARAM(-1), 0);
  else if (key == 'A' && control_held()) list_view_set_item_state(info_list_, -1, LVIS_SELECTED, LVIS_SELECTED);
  else if (key == 'C' && control_held()) copy_properties();
  else return false;
  return true;
}

void properties_dialog::show_menu(POINT screen, HWND list, bool tools) {
  if (is_busy()) return;
  if (!modal_allowed()) {
    activate_blocked_popup();
    return;
  }
  menu_handle menu(CreatePopupMenu());
  const std::size_t selected = selected_count(list);
  const bool several_tracks = tracks_.size() > 1;
  // With the Tools entries the selection's entries go into a submenu, which
  // the menu owns once it is inserted.
  menu_handle submenu(tools ? CreatePopupMenu() : nullptr);
  const HMENU selection_menu = tools ? submenu.get() : menu.get();
  const auto add = [](HMENU target, UINT flags, UINT id, const char* text_id, const wchar_t* key = nullptr) {
    const std::wstring text = key ? menu_text_with_shortcut(text_id, key)
                                  : std::wstring(localized_text::to_wide(text_id).get_ptr());
    AppendMenuW(target, MF_STRING | flags, id, text.c_str());
  };

  if (list == metadata_list_) {
    if (selected > 0) {
      if (selected == 1 || several_tracks) add(selection_menu, 0, command_edit, "properties_menu_edit");
      if (selected == 1) add(selection_menu, 0, command_edit_in_place, "properties_menu_edit_inplace", L"F2");
      add(selection_menu, 0, command_remove, "properties_menu_remove", L"Del");
      add(selection_menu, 0, command_crop, "properties_menu_crop");
      AppendMenuW(selection_menu, MF_SEPARATOR, 0, nullptr);
      add(selection_menu, 0, command_cut, "properties_menu_cut", L"Ctrl+X");
      add(selection_menu, 0, command_copy, "properties_menu_copy", L"Ctrl+C");
      const bool can_paste = IsClipboardFormatAvailable(CF_UNICODETEXT) ||
                             IsClipboardFormatAvailable(field_clipboard_format());
      add(selection_menu, can_paste ? 0 : MF_GRAYED, command_paste, "properties_menu_paste", L"Ctrl+V");
      AppendMenuW(selection_menu, MF_SEPARATOR, 0, nullptr);
      add(selection_menu, 0, command_capitalize, "properties_menu_capitalize");
      add(selection_menu, 0, command_clean_up, "properties_menu_clean_up");
      add(selection_menu, 0, command_split_values, "properties_menu_split_values");
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    add(menu.get(), 0, command_add_new_field, "properties_menu_add_new_field", L"Ctrl+N");
    add(menu.get(), IsClipboardFormatAvailable(field_clipboard_format()) ? 0 : MF_GRAYED, command_paste_fields,
        "properties_menu_paste_fields", L"Ctrl+Shift+V");
    if (several_tracks) add(menu.get(), 0, command_auto_track_number, "properties_menu_auto_track_number");
    add(menu.get(), 0, command_auto_fill, "properties_menu_automatically_fill_values");
    if (!tools) menu_item_set_default(menu.get(), selected == 0 ? command_add_new_field : command_edit);
  } else if (selected > 0) {
    add(selection_menu, 0, command_properties_copy, "properties_menu_copy", L"Ctrl+C");
  }

  if (tools) {
    if (GetMenuItemCount(selection_menu) == 0) add(selection_menu, MF_GRAYED, 0, "properties_menu_no_selection");
    // The selection entries lead the menu; the metadata list's own entries
    // (add, paste fields ...) were put straight into it.
    const std::wstring title = localized_text::to_wide("properties_menu_selection").get_ptr();
    if (InsertMenuW(menu.get(), 0, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu.get()),
                    title.c_str()))
      submenu.forget();
    const int count = GetMenuItemCount(menu.get());
    MENUITEMINFOW last = {};
    last.cbSize = sizeof(last);
    last.fMask = MIIM_FTYPE;
    if (count > 0 && GetMenuItemInfoW(menu.get(), count - 1, TRUE, &last) && (last.fType & MFT_SEPARATOR) == 0)
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(menu.get(), 0, command_reload, "properties_reload_info");
    add(menu.get(), read_only_ ? MF_GRAYED : 0, command_remove_tags, "properties_remove_tags");
  } else if (GetMenuItemCount(menu.get()) > 0 &&
             (GetMenuState(menu.get(), GetMenuItemCount(menu.get()) - 1, MF_BYPOSITION) & MF_SEPARATOR) != 0) {
    DeleteMenu(menu.get(), GetMenuItemCount(menu.get()) - 1, MF_BYPOSITION);
  }

  TPMPARAMS exclude = {sizeof(exclude), {}};
  if (tools) GetWindowRect(GetDlgItem(handle(), IDC_PROPERTIES_TOOLS), &exclude.rcExclude);
  const UINT id = UINT(TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen.x, screen.y,
                                        handle(), tools ? &exclude : nullptr));
  if (id == 0) return;
  if (tools && id == command_reload) {
    cancel_cell_edit();
    if (ask_save(apply_and_reload)) reload();
  } else if (tools && id == command_remove_tags) {
    remove_tags();
  } else if (list == metadata_list_) {
    run_metadata_command(id);
  } else if (id == command_properties_copy) {
    copy_properties();
  }
}

void properties_dialog::run_metadata_command(UINT id) {
  if (is_busy()) return;
  const std::vector<bool> mask = selection_mask();
  const bool any_selected = std::find(mask.begin(), mask.end(), true) != mask.end();
  switch (id) {
  case command_edit:
    edit_selected();
    return;
  case command_edit_in_place:
    PostMessageW(handle(), WM_APP, WPARAM(-1), 0);
    return;
  case command_add_new_field:
    add_new_field();
    return;
  case command_remove:
  case command_crop: {
    if (!any_selected) return;
    std::vector<bool> target = mask;
    if (id == command_crop) target.flip();
    rows_.remove_rows(target);
    fill_metadata_list();
    if (std::find(target.begin(), target.end(), true) != target.end()) mark_modified();
    return;
  }
  case command_copy:
    if (any_selected) copy_rows();
    return;
  case command_cut:
    if (!any_selected) return;
    try {
      copy_rows();
    } catch (const std::exception&) {
      MessageBeep(0);
      return;
    }
    rows_.remove_rows(mask);
    fill_metadata_list();
    mark_modified();
    return;
  case command_paste:
    if (any_selected) paste_rows();
    return;
  case command_paste_fields:
    paste_fields();
    return;
  case command_capitalize:
  case command_clean_up:
    if (!any_selected) return;
    if (id == command_capitalize) rows_.transform_rows(mask, capitalize_transform());
    else rows_.transform_rows(mask, clean_up_transform());
    for (std::size_t i = 0; i < mask.size(); ++i)
      if (mask[i]) redraw_row(i);
    return;
  case command_auto_track_number:
    if (tracks_.size() < 2) return;
    rows_.auto_track_number();
    fill_metadata_list();
    mark_modified();
    return;
  case command_auto_fill:
    open_autofill();
    return;
  case command_split_values:
    if (any_selected) open_split_values();
    return;
  default:
    return;
  }
}

void properties_dialog::edit_selected() {
  if (is_busy()) return;
  const std::vector<int> items = selected_items(metadata_list_);
  if (items.size() > 1) {
    open_table_edit(items);
    return;
  }
  if (items.size() != 1) return;
  const std::size_t row = std::size_t(items[0]);
  if (row >= rows_.rows().size()) return;
  field_under_edit_ = std::make_shared<edited_field>(*rows_.rows()[row]);
  field_row_ = std::int64_t(row);
  service_ptr<operation_completion> completion = start_operation(edit_field);
  try {
    open_field_edit_dialog(handle(), field_under_edit_, tracks_, {}, context_, false,
                           service_ptr<metadata_completion>(completion.get()));
  } catch (...) {
    completion->on_completion(field_edit_cancelled);
    throw;
  }
}

void properties_dialog::add_new_field() {
  if (is_busy()) return;
  std::vector<std::string> names;
  for (const edited_field_ptr& row : rows_.rows())
    if (row->any_value()) names.push_back(row->name);
  field_under_edit_ = std::make_shared<edited_field>("", rows_.track_count());
  field_row_ = -1;
  service_ptr<operation_completion> completion = start_operation(add_field);
  try {
    open_field_edit_dialog(handle(), field_under_edit_, tracks_, std::move(names), context_, true,
                           service_ptr<metadata_completion>(completion.get()));
  } catch (...) {
    completion->on_completion(field_edit_cancelled);
    throw;
  }
}

void properties_dialog::copy_rows() {
  const std::vector<bool> mask = selection_mask();
  edited_field_list fields;
  std::string text;
  const bool several = std::count(mask.begin(), mask.end(), true) > 1;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    if (!mask[i]) continue;
    const edited_field_ptr& row = rows_.rows()[i];
    fields.push_back(row);
    if (!text.empty()) text += "\r\n";
    const std::string value = row->display_text();
    text += context_.display_name(row->name) + " : " + (several ? first_line_marked(value) : value);
  }
  clipboard_scope clipboard;
  open_clipboard(clipboard);
  EmptyClipboard();
  write_field_clipboard(fields);
  clipboard_set_text(text.c_str());
}

void properties_dialog::paste_rows() {
  const std::vector<bool> mask = selection_mask();
  std::vector<std::size_t> targets;
  for (std::size_t i = 0; i < mask.size(); ++i)
    if (mask[i]) targets.push_back(i);
  edited_field_list fields;
  qiv::string_buffer text;
  bool have_fields = false;
  bool have_text = false;
  {
    clipboard_scope clipboard;
    open_clipboard(clipboard);
    have_fields = read_field_clipboard(fields);
    if (!have_fields) have_text = clipboard_get_text(text);
  }
  if (have_fields) {
    for (std::size_t i = 0; i < targets.size() && i < fields.size(); ++i) {
      rows_.paste_into_row(targets[i], *fields[i]);
      redraw_row(targets[i]);
    }
  } else if (have_text) {
    if (targets.size() == 1) {
      rows_.set_row_text(targets[0], text.get_ptr());
      redraw_row(targets[0]);
      return;
    }
    const std::vector<std::string> lines = split_lines(text.get_ptr());
    for (std::size_t i = 0; i < targets.size(); ++i) {
      rows_.set_row_text(targets[i], i < lines.size() ? lines[i] : std::string());
      redraw_row(targets[i]);
    }
  }
}

void properties_dialog::paste_fields() {
  edited_field_list fields;
  {
    clipboard_scope clipboard;
    open_clipboard(clipboard);
    if (!read_field_clipboard(fields)) return;
  }
  const std::vector<std::size_t> appended = rows_.paste_fields(fields);
  fill_metadata_list();
  if (!appended.empty()) list_view_select_only(metadata_list_, int(appended.back()));
  mark_modified();
}

void properties_dialog::copy_properties() {
  std::string text;
  for (int item : selected_items(info_list_)) {
    std::string name;
    std::string value;
    list_view_get_item_text(info_list_, item, 0, name);
    list_view_get_item_text(info_list_, item, 1, value);
    if (value.empty()) continue;
    if (!text.empty()) text += "\r\n";
    text += name + " : " + value;
  }
  if (text.empty()) return;
  clipboard_scope clipboard;
  open_clipboard(clipboard);
  EmptyClipboard();
  clipboard_set_text(text.c_str());
}

void properties_dialog::begin_cell_edit(HWND list, int item) {
  if (item < 0) return;
  (list == metadata_list_ ? metadata_editor_ : info_editor_).begin_edit(item, 1);
}

void properties_dialog::commit_cell_edit() {
  metadata_editor_.end(true);
  info_editor_.end(false);
}

void properties_dialog::cancel_cell_edit() {
  metadata_editor_.end(false);
  info_editor_.end(false);
}

unsigned properties_dialog::cell_editor::get_edit_flags(int, int) {
  return metadata_ ? 0u : unsigned(inplace_edit::flag_read_only);
}

bool properties_dialog::cell_editor::get_cell_text(int item, int column, std::string& out, unsigned& line_count) {
  if (!metadata_) return inplace_edit_host::get_cell_text(item, column, out, line_count);
  if (item < 0 || std::size_t(item) >= dialog_.rows_.rows().size()) return false;
  const edited_field& row = *dialog_.rows_.rows()[std::size_t(item)];
  // A value that differs between tracks starts empty: whatever is typed
  // replaces it for all of them.
  out = row.all_identical() ? row.joined_value(0) : std::string();
  const bool multi_line = dialog_.context_.is_multi_line(row.name) || out.find_first_of("\r\n") != std::string::npos;
  line_count = multi_line ? inplace_edit::multi_line_rows : 1;
  return true;
}

void properties_dialog::cell_editor::set_cell_text(int item, int, const char* text) {
  if (!metadata_ || item < 0 || std::size_t(item) >= dialog_.rows_.rows().size()) return;
  dialog_.rows_.set_row_text(std::size_t(item), text);
  dialog_.redraw_row(std::size_t(item));
}
