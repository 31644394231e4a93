#include "ui/framework/inplace_edit_host.h"

#include <commctrl.h>
#include <shldisp.h>

#include <algorithm>

#include "ui/framework/list_view_operations.h"

bool advance_cell(int& row, int& slot, int rows, int slots, unsigned direction) noexcept {
  if (rows <= 0 || slots <= 0) return false;
  // One running number over the whole table, so wrapping between rows falls out.
  const long long last = static_cast<long long>(rows) * slots - 1;
  long long position = static_cast<long long>(row) * slots + slot;
  switch (direction) {
    case inplace_edit::end_next: position += 1; break;
    case inplace_edit::end_previous: position -= 1; break;
    case inplace_edit::end_next_row: position += slots; break;
    default: return false;
  }
  if (position < 0 || position > last) return false;
  row = static_cast<int>(position / slots);
  slot = static_cast<int>(position % slots);
  return true;
}

// Reaches the host while attached; detached when the host moves on or ends,
// so a box finishing late changes nothing.
class inplace_edit_host::edit_callback final : public inplace_edit_callback {
public:
  edit_callback(inplace_edit_host* host, unsigned key) noexcept : host_(host), key_(key) {}
  void done(unsigned code) override {
    if (host_ != nullptr) host_->on_edit_end(key_, code);
  }
  void detach() noexcept {
    host_ = nullptr;
    key_ = 0;
  }

private:
  inplace_edit_host* host_;
  unsigned key_;
};

inplace_edit_host::~inplace_edit_host() { drop_edit(); }

void inplace_edit_host::drop_edit() noexcept {
  for (auto& entry : pending_) static_cast<edit_callback*>(entry.second.get())->detach();
  pending_.clear();
  popup_ = nullptr;
}

void inplace_edit_host::begin_edit(int item, int column) {
  const HWND list = get_list();
  select_item(item);
  std::string text;
  unsigned lines = 1;
  if (!get_cell_text(item, column, text, lines)) return;
  const unsigned flags = get_edit_flags(item, column);
  RECT cell = {};
  if (!get_cell_rect(item, column, cell)) return;
  qiv::com_ptr<IEnumString> suggestions;
  const bool suggest = get_autocomplete(item, column, suggestions) && suggestions;

  drop_edit();
  item_ = item;
  column_ = column;
  flags_ = flags;
  qiv::ref_ptr<inplace_edit_callback> callback(new edit_callback(this, edit_key));
  pending_[edit_key] = callback;
  qiv::ref_ptr<inplace_edit_text> record(new inplace_edit_text);
  record->text = std::move(text);
  try {
    popup_ = inplace_edit_popup::open(list, cell, lines, flags, record.get(), callback.get(),
                                      suggest ? suggestions.get() : nullptr, ACO_AUTOSUGGEST);
  } catch (...) {
    drop_edit();
    throw;
  }
}

void inplace_edit_host::on_edit_end(unsigned key, unsigned code) {
  if (key != edit_key) return;
  const auto found = pending_.find(key);
  if (found == pending_.end()) return;
  static_cast<edit_callback*>(found->second.get())->detach();
  pending_.erase(found);
  qiv::ref_ptr<inplace_edit_popup> popup = std::move(popup_);
  if ((code & inplace_edit::commit_bit) && popup) set_cell_text(item_, column_, popup->text().c_str());
  popup = nullptr;
  int item = item_, column = column_;
  if (next_cell(item, column, code & 0xFF)) begin_edit(item, column);
  else on_edit_finished();
}

void inplace_edit_host::end(bool commit) {
  if (!is_editing()) return;
  qiv::ref_ptr<inplace_edit_popup> popup = popup_;
  drop_edit();
  if (commit && !(flags_ & inplace_edit::flag_read_only) && popup && popup->is_alive())
    set_cell_text(item_, column_, popup->text().c_str());
  // The box sees its focus go and closes itself; its callback is detached.
  SetFocus(nullptr);
  on_edit_finished();
}

bool inplace_edit_host::get_cell_rect(int item, int column, RECT& out) {
  out = {};
  out.top = column;
  out.left = LVIR_LABEL;
  return SendMessageW(get_list(), LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&out)) != 0;
}

bool inplace_edit_host::get_cell_text(int item, int column, std::string& out, unsigned& line_count) {
  list_view_get_item_text(get_list(), item, column, out);
  line_count = out.find_first_of("\r\n") != std::string::npos ? inplace_edit::multi_line_rows : 1;
  return true;
}

void inplace_edit_host::set_cell_text(int item, int column, const char* text) {
  list_view_set_item_text(get_list(), item, column, text);
}

int inplace_edit_host::get_item_count() {
  return static_cast<int>(SendMessageW(get_list(), LVM_GETITEMCOUNT, 0, 0));
}

void inplace_edit_host::select_item(int item) { list_view_select_only(get_list(), item); }

bool inplace_edit_host::get_column_order(std::vector<int>& out) {
  const int count = get_column_count();
  out.assign(static_cast<std::size_t>(std::max(count, 0)), 0);
  if (count <= 0) return false;
  return SendMessageW(get_list(), LVM_GETCOLUMNORDERARRAY, count, reinterpret_cast<LPARAM>(out.data())) != 0;
}

bool inplace_edit_host::next_cell(int& item, int& column, unsigned code) {
  std::vector<int> order;
  if (!get_column_order(order)) return false;
  // The editable columns as the user sees them, left to right.
  std::vector<int> editable;
  for (int shown : order) {
    if (is_column_editable(shown)) editable.push_back(shown);
  }
  const auto at = std::find(editable.begin(), editable.end(), column);
  if (at == editable.end()) return false;
  int row = item;
  int slot = static_cast<int>(at - editable.begin());
  if (!advance_cell(row, slot, get_item_count(), static_cast<int>(editable.size()), code)) return false;
  item = row;
  column = editable[static_cast<std::size_t>(slot)];
  return true;
}
