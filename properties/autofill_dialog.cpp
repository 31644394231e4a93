#include "properties/autofill_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/separator_control.h"
#include "foundation/clipboard_text.h"
#include "foundation/code_page_text.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_handles.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "metadata/track_info.h"
#include "properties/autofill_match_table.h"
#include "properties/autofill_text.h"
#include "properties/properties_histories.h"
#include "properties/value_case_transforms.h"
#include "properties/list_menu_routines.h"
#include "properties/sub_dialog_ending.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/edit_autocomplete.h"
#include "ui/framework/inplace_edit_host.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_placement.h"
#include "ui/framework/window_utilities.h"
#include "ui/menus/balloon_tip.h"

namespace {

constexpr UINT_PTR refresh_timer = 666;
constexpr UINT refresh_delay_ms = 333;
// First argument: the row; second: the list column.
constexpr UINT preview_message_open_cell = WM_APP;
constexpr int preview_number_column = 0;
constexpr int source_column = 1;
constexpr int preview_first_field_column = 2;
enum source_kind : int { file_names = 0, clipboard_lines = 1 };

class autofill_dialog;

// The preview's cells: the source column shows read-only, the field columns
// change the preview only; OK takes whatever it shows.
class preview_cells final : public inplace_edit_host {
public:
  explicit preview_cells(autofill_dialog& dialog) noexcept : dialog_(dialog) {}

protected:
  HWND get_list() override;
  int get_column_count() override;
  bool is_column_editable(int column) override { return column != preview_number_column && column < get_column_count(); }
  unsigned get_edit_flags(int, int column) override {
    return column == source_column ? inplace_edit::flag_read_only : 0u;
  }
  bool get_cell_text(int item, int column, std::string& out, unsigned& line_count) override;
  void set_cell_text(int item, int column, const char* text) override;

private:
  autofill_dialog& dialog_;
};

// The widest of the texts in the list's font, measured on the longest few:
// with thousands of rows, asking the list to fit a column would draw out
// every row's text.
int fitting_width(HWND list, const std::string& header, const std::vector<std::string>& texts) {
  std::vector<const std::string*> longest;
  for (const std::string& text : texts) {
    if (longest.size() < 8) longest.push_back(&text);
    else {
      auto shortest = std::min_element(longest.begin(), longest.end(),
                                       [](const std::string* a, const std::string* b) { return a->size() < b->size(); });
      if ((*shortest)->size() < text.size()) *shortest = &text;
    }
  }
  const HDC dc = GetDC(list);
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  const auto measure = [&](const std::string& text) {
    const qiv::wide_buffer wide = qiv::utf8_to_wide_buffer(text.c_str(), text.size());
    SIZE size = {};
    GetTextExtentPoint32W(dc, wide.get_ptr(), lstrlenW(wide.get_ptr()), &size);
    return int(size.cx);
  };
  int width = measure(header) + 12;  // the header's own margins
  for (const std::string* text : longest) width = std::max(width, measure(*text));
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return width + 14;  // the cell's margins on both sides
}

class autofill_dialog final : public dialog_object {
  friend class preview_cells;

public:
  autofill_dialog(service_ptr<metadata_completion> completion, const track_handle_list& tracks,
                  std::shared_ptr<edited_field_list> result, const field_display_context& context)
      : completion_(std::move(completion)), tracks_(tracks), result_(std::move(result)), context_(context),
        placement_(config::autofill_window), sources_(tracks.size()) {
    static constexpr std::uint32_t anchors[] = {
        dialog_resizer::packed(IDC_AUTOFILL_SOURCE_HEADER, dialog_resizer::stretch_x),
        dialog_resizer::packed(IDC_AUTOFILL_PATTERN_HEADER, dialog_resizer::stretch_x),
        dialog_resizer::packed(IDC_AUTOFILL_PREVIEW_HEADER, dialog_resizer::stretch_x),
        dialog_resizer::packed(IDC_AUTOFILL_PATTERN, dialog_resizer::stretch_x),
        dialog_resizer::packed(IDC_AUTOFILL_PREVIEW, dialog_resizer::stretch_x | dialog_resizer::stretch_y),
        dialog_resizer::packed(IDC_AUTOFILL_AUTOCAPS, dialog_resizer::move_x | dialog_resizer::move_y),
        dialog_resizer::packed(IDOK, dialog_resizer::move_x | dialog_resizer::move_y),
        dialog_resizer::packed(IDCANCEL, dialog_resizer::move_x | dialog_resizer::move_y),
    };
    resizer_.set_packed_anchors(anchors, std::size(anchors));
    resizer_.minimum_size_dialog_units = {250, 150};
  }

  ~autofill_dialog() override {
    if (header_font_ != nullptr) DeleteObject(header_font_);
  }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
    registration_.process_message(window, message);
    if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
    placement_.on_message(window, message);
    switch (message) {
    case WM_INITDIALOG:
      on_init();
      result = FALSE;  // the source box took the focus
      return true;
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam));
      return true;
    case WM_NOTIFY:
      return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
    case WM_TIMER:
      if (wparam != refresh_timer) return false;
      refresh();
      return true;
    case WM_CONTEXTMENU: {
      const HWND target = reinterpret_cast<HWND>(wparam);
      if (target != pattern_box_ && GetParent(target) != pattern_box_) return false;
      autofill_pattern_history().show_menu(pattern_box_, {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return true;
    }
    case preview_message_open_cell:
      if (!cells_.is_editing() && int(wparam) >= 0 && std::size_t(wparam) < tracks_.size() &&
          int(lparam) > preview_number_column && int(lparam) < int(preview_first_field_column + columns_.size()))
        cells_.begin_edit(int(wparam), int(lparam));
      return true;
    case WM_DESTROY:
      KillTimer(window, refresh_timer);
      name_tip_.hide_balloon_tip();
      return false;
    default:
      return false;
    }
  }

  void on_final_message(HWND) override { delete this; }

private:
  void on_init() {
    const HWND window = handle();
    pattern_box_ = GetDlgItem(window, IDC_AUTOFILL_PATTERN);
    source_box_ = GetDlgItem(window, IDC_AUTOFILL_SOURCE);
    paste_button_ = GetDlgItem(window, IDC_AUTOFILL_PASTE);
    list_ = GetDlgItem(window, IDC_AUTOFILL_PREVIEW);
    scrolling_.attach_to(list_);

    set_window_text_utf8(window, localized_text_get("properties_caption_autofill"));
    static constexpr std::pair<int, const char*> labels[] = {
        {IDC_AUTOFILL_SOURCE_HEADER, "properties_autofill_header_source"},
        {IDC_AUTOFILL_PATTERN_HEADER, "properties_autofill_header_pattern"},
        {IDC_AUTOFILL_PREVIEW_HEADER, "properties_autofill_header_preview"},
        {IDC_AUTOFILL_AUTOCAPS, "properties_autofill_autocaps"},
        {IDOK, "dialog_ok"},
        {IDCANCEL, "dialog_cancel"},
        {IDC_AUTOFILL_PASTE, "properties_autofill_paste"},
    };
    for (const auto& [id, text_id] : labels) SetDlgItemTextW(window, id, localized_text::to_wide(text_id).get_ptr());

    make_header_font();
    for (int id : {IDC_AUTOFILL_SOURCE_HEADER, IDC_AUTOFILL_PATTERN_HEADER, IDC_AUTOFILL_PREVIEW_HEADER})
      SendDlgItemMessageW(window, id, WM_SETFONT, WPARAM(header_font_), TRUE);

    for (const char* text_id : {"properties_autofill_source_filenames", "properties_autofill_source_clipboard"})
      SendMessageW(source_box_, CB_ADDSTRING, 0, LPARAM(localized_text::to_wide(text_id).get_ptr()));
    SendMessageW(source_box_, CB_SETCURSEL, file_names, 0);

    add_modal_dialog_frame(window);
    SetWindowTheme(list_, L"explorer", nullptr);
    const DWORD styles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    list_view_insert_number_column(list_, 25);
    list_view_insert_column(list_, source_column, localized_text_get("properties_tableedit_column_filename"), 75);
    SendMessageW(list_, LVM_SETITEMCOUNT, tracks_.size(), 0);

    edit_history::attach_combo(pattern_box_, autofill_pattern_history());

    refresh();
    initialised_ = true;
    SetFocus(source_box_);
    ShowWindow(window, SW_SHOW);
  }

  void make_header_font() {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(handle(), WM_GETFONT, 0, 0)), sizeof(font), &font);
    const LONG height = font.lfHeight;
    font.lfWeight = FW_BOLD;
    font.lfHeight = LONG(std::floor(double(height) * 1.3 + 0.5));
    if (font.lfHeight == 0) font.lfHeight = height < 0 ? -1 : 1;
    header_font_ = CreateFontIndirectW(&font);
  }

  void on_command(UINT id, UINT code) {
    switch (id) {
    case IDOK:
      if (code == BN_CLICKED) on_ok();
      return;
    case IDCANCEL:
      if (code != BN_CLICKED) return;
      cells_.end(false);
      close(sub_dialog_cancelled);
      return;
    case IDC_AUTOFILL_PATTERN:
      if (initialised_ && (code == CBN_EDITCHANGE || code == CBN_SELCHANGE)) schedule_refresh();
      return;
    case IDC_AUTOFILL_SOURCE:
      if (code == CBN_SELCHANGE) change_source(int(SendMessageW(source_box_, CB_GETCURSEL, 0, 0)));
      return;
    case IDC_AUTOFILL_PASTE:
      if (code != BN_CLICKED) return;
      clipboard_read_ = false;
      refresh();
      return;
    case IDC_AUTOFILL_AUTOCAPS:
      if (code == BN_CLICKED) capitalize_preview();
      return;
    default:
      return;
    }
  }

  void change_source(int kind) {
    if (kind != file_names && kind != clipboard_lines) return;
    if (kind == source_) return;
    source_ = source_kind(kind);
    ShowWindow(paste_button_, source_ == clipboard_lines ? SW_SHOW : SW_HIDE);
    schedule_refresh();
  }

  void schedule_refresh() {
    refresh_pending_ = true;
    SetTimer(handle(), refresh_timer, refresh_delay_ms, nullptr);
  }

  void run_pending_refresh() {
    if (refresh_pending_) refresh();
  }

  std::string source_string(std::size_t track, std::size_t separators, const std::vector<std::string>& lines) const {
    if (source_ == clipboard_lines) return track < lines.size() ? lines[track] : std::string();
    const std::string tail = path_tail(tracks_[track]->get_location().get_path(), unsigned(separators));
    return clean_up_text(strip_extension(tail));
  }

  void refresh() {
    KillTimer(handle(), refresh_timer);
    refresh_pending_ = false;
    cells_.end(false);

    qiv::string_buffer text;
    get_window_text_utf8(pattern_box_, text);
    pattern_ = text.get_ptr();
    while (SendMessageW(list_, LVM_DELETECOLUMN, preview_first_field_column, 0)) {
    }

    std::vector<std::string> lines;
    if (source_ == clipboard_lines) {
      if (!clipboard_read_) {
        qiv::string_buffer clipboard;
        clipboard_text_ = get_clipboard_text_utf8(clipboard) ? clipboard.get_ptr() : "";
        clipboard_read_ = true;
      }
      lines = split_lines(clipboard_text_);
    }
    const char* header = source_ == clipboard_lines ? "properties_autofill_column_source"
                                                    : "properties_tableedit_column_filename";
    qiv::wide_buffer header_text = localized_text::to_wide(header);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(header_text.get_ptr());
    SendMessageW(list_, LVM_SETCOLUMNW, source_column, reinterpret_cast<LPARAM>(&column));

    const std::size_t separators = count_path_separators(pattern_);
    autofill_match_table table(tracks_.size(), context_);
    for (std::size_t track = 0; track < tracks_.size(); ++track) {
      sources_[track] = source_string(track, separators, lines);
      match_pattern(table, track, pattern_, sources_[track]);
    }
    columns_ = table.columns();

    for (std::size_t k = 0; k < columns_.size(); ++k)
      list_view_insert_column(list_, int(preview_first_field_column + k), context_.display_name(columns_[k].name).c_str(),
                              100);
    fit_columns();
    InvalidateRect(list_, nullptr, TRUE);
    check_field_names();
  }

  void fit_columns() {
    std::vector<std::string> numbers = {std::to_string(tracks_.size())};
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, preview_number_column, fitting_width(list_, "#", numbers));
    const auto header_of = [&](int column) {
      std::string text;
      wchar_t buffer[256] = {};
      LVCOLUMNW request = {};
      request.mask = LVCF_TEXT;
      request.pszText = buffer;
      request.cchTextMax = 255;
      if (SendMessageW(list_, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&request)))
        text = qiv::utf16_to_utf8(buffer, std::size_t(lstrlenW(buffer)));
      return text;
    };
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, source_column, fitting_width(list_, header_of(source_column), sources_));
    for (std::size_t k = 0; k < columns_.size(); ++k) {
      const int column = int(preview_first_field_column + k);
      SendMessageW(list_, LVM_SETCOLUMNWIDTH, column, fitting_width(list_, header_of(column), columns_[k].values));
    }
  }

  // A name the tags cannot carry would be written as damage or refused by
  // every tag writer: the pattern is refused before anything is taken.
  bool check_field_names() {
    for (const autofill_match_table::column& column : columns_) {
      if (!track_info::is_valid_field_name(column.name.c_str())) {
        EnableWindow(GetDlgItem(handle(), IDOK), FALSE);
        name_tip_.show_balloon_tip(localized_text_get("properties_valid_field_name_notice"), pattern_box_);
        return false;
      }
    }
    EnableWindow(GetDlgItem(handle(), IDOK), TRUE);
    name_tip_.hide_balloon_tip();
    return true;
  }

  void capitalize_preview() {
    run_pending_refresh();
    for (autofill_match_table::column& column : columns_)
      for (std::string& value : column.values) value = capitalize_text(value);
    InvalidateRect(list_, nullptr, TRUE);
  }

  void on_ok() {
    cells_.end(true);
    run_pending_refresh();
    if (columns_.empty()) {
      close(sub_dialog_cancelled);
      return;
    }
    if (!check_field_names()) {
      MessageBeep(0);
      return;
    }
    autofill_pattern_history().add(pattern_);
    for (const autofill_match_table::column& column : columns_) {
      edited_field_ptr target;
      for (const edited_field_ptr& field : *result_)
        if (field_names_equal(field->name, column.name)) target = field;
      if (!target) {
        target = std::make_shared<edited_field>(column.name, std::uint32_t(tracks_.size()));
        result_->push_back(target);
      }
      for (std::size_t track = 0; track < tracks_.size(); ++track)
        target->set_value(column.values[track], std::uint32_t(track), context_);
    }
    close(sub_dialog_accepted);
  }

  void close(sub_dialog_result result) { end_sub_dialog(handle(), std::move(completion_), result); }

  bool on_notify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != list_) return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& request = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      answer_cell_text(request, cell_text(request.item.iItem, request.item.iSubItem), cell_buffer_);
      return true;
    }
    case LVN_ODFINDITEMW:
      result = -1;
      return true;
    case NM_CLICK: {
      const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
      if (click.iItem >= 0 && click.iSubItem > preview_number_column)
        PostMessageW(handle(), preview_message_open_cell, click.iItem, click.iSubItem);
      return true;
    }
    case LVN_KEYDOWN: {
      if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey != VK_F2) return false;
      result = 0;
      const int row = int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
      if (row >= 0 && SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0) == 1)
        PostMessageW(handle(), preview_message_open_cell, row, preview_first_field_column);
      return true;
    }
    default:
      return false;
    }
  }

  const std::string& cell_text(int row, int column) {
    static const std::string none;
    if (row < 0 || std::size_t(row) >= tracks_.size()) return none;
    if (column == preview_number_column) {
      number_text_ = std::to_string(row + 1);
      return number_text_;
    }
    if (column == source_column) return sources_[std::size_t(row)];
    const std::size_t field = std::size_t(column - preview_first_field_column);
    if (column < preview_first_field_column || field >= columns_.size()) return none;
    return columns_[field].values[std::size_t(row)];
  }

  service_ptr<metadata_completion> completion_;
  track_handle_list tracks_;
  std::shared_ptr<edited_field_list> result_;
  field_display_context context_;
  window_placement_keeper placement_;
  dialog_resizer resizer_;
  modeless_dialog_registration registration_;
  preview_cells cells_{*this};
  balloon_tip name_tip_;
  HFONT header_font_ = nullptr;
  HWND source_box_ = nullptr;
  HWND pattern_box_ = nullptr;
  HWND paste_button_ = nullptr;
  HWND list_ = nullptr;
  list_view_ctrl scrolling_;
  bool initialised_ = false;
  bool refresh_pending_ = false;
  source_kind source_ = file_names;
  bool clipboard_read_ = false;
  std::string clipboard_text_;
  std::string pattern_;
  std::vector<std::string> sources_;
  std::vector<autofill_match_table::column> columns_;
  std::string number_text_;
  qiv::wide_buffer cell_buffer_;
};

HWND preview_cells::get_list() { return dialog_.list_; }

int preview_cells::get_column_count() { return int(preview_first_field_column + dialog_.columns_.size()); }

bool preview_cells::get_cell_text(int item, int column, std::string& out, unsigned& line_count) {
  if (item < 0 || std::size_t(item) >= dialog_.tracks_.size() || column <= preview_number_column ||
      column >= get_column_count())
    return false;
  out = dialog_.cell_text(item, column);
  line_count = out.find_first_of("\r\n") != std::string::npos ? inplace_edit::multi_line_rows : 1;
  return true;
}

void preview_cells::set_cell_text(int item, int column, const char* text) {
  const std::size_t field = std::size_t(column - preview_first_field_column);
  if (item < 0 || std::size_t(item) >= dialog_.tracks_.size() || column < preview_first_field_column ||
      field >= dialog_.columns_.size())
    return;
  dialog_.columns_[field].values[std::size_t(item)] = text;
  SendMessageW(dialog_.list_, LVM_REDRAWITEMS, item, item);
}

}  // namespace

HWND open_autofill_dialog(HWND owner, service_ptr<metadata_completion> completion, const track_handle_list& tracks,
                          std::shared_ptr<edited_field_list> result, const field_display_context& context) {
  separator_control::register_class();
  auto dialog = std::make_unique<autofill_dialog>(std::move(completion), tracks, std::move(result), context);
  const HWND window = dialog->create_modeless(IDD_AUTOFILL, owner);
  dialog.release();
  return window;
}
