#include "ui/framework/value_history.h"

#include <algorithm>

#include "core/config_item_kinds.h"
#include "core/localized_text.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "ui/framework/window_utilities.h"

std::vector<std::string> value_history::load_list() const {
  const std::string text = store_.get_text();
  std::vector<std::string> entries;
  if (!qiv::is_valid_utf8(text.data(), text.size()) || text.find('\0') != std::string::npos) return entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) entries.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

void value_history::store_list(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    text += entry;
    text += '\n';
  }
  store_.set_text(text);
}

bool value_history::add(const std::string& given) {
  if (given.empty()) return false;
  std::string value = given;
  std::replace(value.begin(), value.end(), '\n', '|');
  std::vector<std::string> entries = load_list();
  const auto found = std::find(entries.begin(), entries.end(), value);
  const bool present = found != entries.end();
  if (present) {
    std::rotate(entries.begin(), found, found + 1);
  } else {
    while (entries.size() > limit_) entries.pop_back();
    entries.insert(entries.begin(), value);
  }
  store_list(entries);
  return present;
}

void value_history::fill_combo(HWND combo) const {
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : load_list()) send_message_text(combo, CB_ADDSTRING, 0, entry.c_str());
}

bool value_history::remove(const std::string& value) {
  std::vector<std::string> entries = load_list();
  const auto found = std::find(entries.begin(), entries.end(), value);
  if (found == entries.end()) return false;
  entries.erase(found);
  store_list(entries);
  return true;
}

void value_history::wipe() { store_.set_text(""); }

bool value_history::show_menu(HWND control, POINT position) {
  enum : UINT { wipe_command = 1, remove_command = 2 };
  if (position.x == -1 && position.y == -1) {
    RECT r;
    GetWindowRect(control, &r);
    position = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  qiv::string_buffer current;
  get_window_text_utf8(control, current);
  menu_handle menu(CreatePopupMenu());
  if (menu.get() == nullptr) return false;
  qiv::string_buffer label;
  localized_text::get_or("ui_history_wipe", "Wipe history", label);
  append_menu_utf8(menu.get(), MF_STRING, wipe_command, label.get_ptr());
  if (current.get_length() != 0) {
    localized_text::get_or("ui_history_remove_item", "Remove this history item", label);
    append_menu_utf8(menu.get(), MF_STRING, remove_command, label.get_ptr());
  }
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY, position.x, position.y, 0, control, nullptr));
  menu.destroy();
  if (chosen == wipe_command) {
    wipe();
    // The list goes, the text the user is typing stays.
    SendMessageW(control, CB_RESETCONTENT, 0, 0);
    set_window_text_utf8(control, current.get_ptr());
    return true;
  }
  if (chosen == remove_command) {
    const bool removed = remove(current.get_ptr());
    fill_combo(control);
    set_window_text_utf8(control, current.get_ptr());
    return removed;
  }
  return false;
}

std::string config_text_history_store::get_text() const { return item_.get(); }

void config_text_history_store::set_text(const std::string& text) { item_.set(text.c_str()); }
