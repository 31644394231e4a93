// The remembered values of an edit or combo field, most recent first, kept in
// one text setting as the entries each followed by a line feed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Where a history keeps its text (a configuration value).
class value_history_store {
public:
  virtual std::string get_text() const = 0;
  virtual void set_text(const std::string& text) = 0;

protected:
  ~value_history_store() = default;
};

class value_history {
public:
  // The field histories of the properties dialog keep 10.
  value_history(value_history_store& store, std::size_t limit) noexcept : store_(store), limit_(limit) {}

  // The stored entries in order. Runs of line feeds are skipped, so there
  // is never an empty entry; a stored text that is not UTF-8 (a damaged
  // setting) reads as an empty history.
  std::vector<std::string> load_list() const;
  // Each entry followed by a line feed; an empty list stores "".
  void store_list(const std::vector<std::string>& entries);

  // Puts the value first and answers whether it was there already. Line
  // feeds in the value are stored as "|"; an empty value does nothing.
  // Before a new value is inserted, the oldest entries go while more than
  // the limit are kept, so up to limit + 1 entries remain.
  bool add(const std::string& value);

  // Fills a combo box's list with the entries.
  void fill_combo(HWND combo) const;

  // The history's context menu on a field: "Wipe history", and "Remove this
  // history item" while the field holds text. `position` is in screen
  // coordinates; (-1, -1) (the menu key) opens it at the field's centre.
  // Answers whether the history changed.
  bool show_menu(HWND control, POINT position);

  // Removes the first entry equal to the value; answers whether one was.
  bool remove(const std::string& value);
  void wipe();

  value_history_store& store() const noexcept { return store_; }

private:
  value_history_store& store_;
  std::size_t limit_;
};

class config_text;

// A history kept in a text configuration item.
class config_text_history_store final : public value_history_store {
public:
  explicit config_text_history_store(config_text& item) noexcept : item_(item) {}
  std::string get_text() const override;
  void set_text(const std::string& text) override;

private:
  config_text& item_;
};
