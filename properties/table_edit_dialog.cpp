#include "properties/table_edit_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <memory>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "properties/list_menu_routines.h"
#include "properties/sub_dialog_ending.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/inplace_edit_host.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_placement.h"
#include "ui/framework/window_utilities.h"

namespace {

// First argument: the row; second: the field, or -1 for the item column.
constexpr UINT table_message_open_cell = WM_APP;
constexpr int table_number_column = 0;
constexpr int item_column = 1;
constexpr int table_first_field_column = 2;

bool has_line_break(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

class table_edit_dialog;

// The cells as the in-place editor sees them: list columns, of which either
// the item column alone (shown, never changed) or the field columns are
// walked, whichever the edit was opened on.
class table_cells final : public inplace_edit_host {
public:
  explicit table_cells(table_edit_dialog& dialog) noexcept : dialog_(dialog) {}
  bool on_item_column = false;

protected:
  HWND get_list() override;
  int get_column_count() override;
  bool is_column_editable(int column) override;
  unsigned get_edit_flags(int, int column) override {
    return column == item_column ? inplace_edit::flag_read_only : 0u;
  }
  bool get_cell_text(int item, int column, std::string& out, unsigned& line_count) override;
  void set_cell_text(int item, int column, const char* text) override;

private:
  table_edit_dialog& dialog_;
};

class table_edit_dialog final : public dialog_object {
  friend class table_cells;

public:
  table_edit_dialog(service_ptr<metadata_completion> completion, const field_display_context& context,
                    std::vector<std::string> item_names, edited_field_list fields)
      : completion_(std::move(completion)), context_(context), item_names_(std::move(item_names)),
        fields_(std::move(fields)), placement_(config::table_edit_window) {
    static constexpr std::uint32_t anchors[] = {
        dialog_resizer::packed(IDC_TABLE_EDIT_LIST, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDOK, dialog_resizer::move_x | dialog_resizer::move_y),
        dialog_resizer::packed(IDCANCEL, dialog_resizer::move_x | dialog_resizer::move_y),
    };
    resizer_.set_packed_anchors(anchors, std::size(anchors));
    resizer_.minimum_size_dialog_units = {150, 150};
  }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
    registration_.process_message(window, message);
    if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
    placement_.on_message(window, message);
    switch (message) {
    case WM_INITDIALOG:
      on_init();
      result = TRUE;
      return true;
    case WM_COMMAND:
      if (HIWORD(wparam) != 0) return true;
      if (LOWORD(wparam) == IDOK) {
        cells_.end(true);  // may commit the cell still open
        close(modified_);
      } else if (LOWORD(wparam) == IDCANCEL) {
        cells_.end(false);
        close(false);
      }
      return true;
    case WM_NOTIFY:
      return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
    case table_message_open_cell:
      open_cell(int(wparam), int(lparam));
      return true;
    default:
      return false;
    }
  }

  void on_final_message(HWND) override { delete this; }

private:
  void on_init() {
    const HWND window = handle();
    list_ = GetDlgItem(window, IDC_TABLE_EDIT_LIST);
    scrolling_.attach_to(list_);
    SetDlgItemTextW(window, IDOK, localized_text::to_wide("dialog_ok").get_ptr());
    SetDlgItemTextW(window, IDCANCEL, localized_text::to_wide("dialog_cancel").get_ptr());
    add_modal_dialog_frame(window);

    std::string names;
    for (const edited_field_ptr& field : fields_) {
      if (!names.empty()) names += ", ";
      names += context_.display_name(field->name);
    }
    localized_values values;
    values.find_or_add(qiv::string_small("items"), qiv::string_small(names.c_str()));
    qiv::string_buffer caption;
    localized_text_format("properties_tableedit_caption", values, caption);
    set_window_text_utf8(window, caption.get_ptr());

    SetWindowTheme(list_, L"explorer", nullptr);
    const DWORD styles = LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP |
                         LVS_EX_DOUBLEBUFFER;
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    list_view_insert_number_column(list_, 20);
    list_view_insert_column(list_, item_column, localized_text_get("properties_tableedit_column_item"), 100);
    for (std::size_t k = 0; k < fields_.size(); ++k)
      list_view_insert_column(list_, int(table_first_field_column + k), context_.display_name(fields_[k]->name).c_str(),
                              100);
    SendMessageW(list_, LVM_SETITEMCOUNT, item_names_.size(), 0);
    ShowWindow(window, SW_SHOW);
  }

  bool on_notify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != list_) return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& request = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      answer_cell_text(request, cell_text(request.item.iItem, request.item.iSubItem), cell_buffer_);
      return true;
    }
    case LVN_ODFINDITEMW:
      // Type-ahead finds nothing: the rows are not ordered by any text.
      result = -1;
      return true;
    case NM_CLICK: {
      const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
      if (click.iItem >= 0 && click.iSubItem >= item_column)
        PostMessageW(handle(), table_message_open_cell, click.iItem, click.iSubItem - table_first_field_column);
      return true;
    }
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
      result = 0;
      if (key != VK_F2) return false;
      const int row = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
      if (row >= 0) open_cell(row, (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? -1 : 0);
      return true;
    }
    default:
      return false;
    }
  }

  std::string cell_text(int row, int column) const {
    if (row < 0 || std::size_t(row) >= item_names_.size()) return {};
    if (column == table_number_column) return std::to_string(row + 1);
    if (column == item_column) return first_line_marked(item_names_[std::size_t(row)]);
    const std::size_t field = std::size_t(column - table_first_field_column);
    if (column < table_first_field_column || field >= fields_.size()) return {};
    return first_line_marked(fields_[field]->joined_value(std::uint32_t(row)));
  }

  // `field` -1 opens the item column.
  void open_cell(int row, int field) {
    if (cells_.is_editing() || row < 0 || std::size_t(row) >= item_names_.size()) return;
    if (field >= 0 && std::size_t(field) >= fields_.size()) return;
    cells_.on_item_column = field < 0;
    cells_.begin_edit(row, field < 0 ? item_column : table_first_field_column + field);
  }

  void commit(int row, std::size_t field, const char* text) {
    if (row < 0 || std::size_t(row) >= item_names_.size() || field >= fields_.size()) return;
    fields_[field]->set_value(text, std::uint32_t(row), context_);
    SendMessageW(list_, LVM_REDRAWITEMS, row, row);
    modified_ = true;
  }

  void close(bool accepted) {
    end_sub_dialog(handle(), std::move(completion_), accepted ? sub_dialog_accepted : sub_dialog_cancelled);
  }

  service_ptr<metadata_completion> completion_;
  field_display_context context_;
  std::vector<std::string> item_names_;
  edited_field_list fields_;
  window_placement_keeper placement_;
  dialog_resizer resizer_;
  modeless_dialog_registration registration_;
  table_cells cells_{*this};
  list_view_ctrl scrolling_;
  HWND list_ = nullptr;
  bool modified_ = false;
  qiv::wide_buffer cell_buffer_;
};

HWND table_cells::get_list() { return dialog_.list_; }

int table_cells::get_column_count() { return int(table_first_field_column + dialog_.fields_.size()); }

bool table_cells::is_column_editable(int column) {
  return on_item_column ? column == item_column : column >= table_first_field_column && column < get_column_count();
}

bool table_cells::get_cell_text(int item, int column, std::string& out, unsigned& line_count) {
  if (item < 0 || std::size_t(item) >= dialog_.item_names_.size()) return false;
  bool multi_line = false;
  if (column == item_column) {
    out = dialog_.item_names_[std::size_t(item)];
  } else {
    const std::size_t field = std::size_t(column - table_first_field_column);
    if (column < table_first_field_column || field >= dialog_.fields_.size()) return false;
    const edited_field& edited = *dialog_.fields_[field];
    out = edited.joined_value(std::uint32_t(item));
    multi_line = dialog_.context_.is_multi_line(edited.name);
  }
  // A value with a line break opens tall even outside the multi-line
  // fields: a one-line box would lose the lines after the first.
  line_count = multi_line || has_line_break(out) ? inplace_edit::multi_line_rows : 1;
  return true;
}

void table_cells::set_cell_text(int item, int column, const char* text) {
  if (column >= table_first_field_column) dialog_.commit(item, std::size_t(column - table_first_field_column), text);
}

}  // namespace

HWND open_table_edit_dialog(HWND owner, service_ptr<metadata_completion> completion,
                            const field_display_context& context, std::vector<std::string> item_names,
                            edited_field_list fields) {
  auto dialog = std::make_unique<table_edit_dialog>(std::move(completion), context, std::move(item_names),
                                                    std::move(fields));
  const HWND window = dialog->create_modeless(IDD_TABLE_EDIT, owner);
  dialog.release();
  return window;
}
