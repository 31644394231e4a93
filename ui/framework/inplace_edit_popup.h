// The small bordered edit box that opens over one cell of a list view, takes
// the keyboard and ends on Enter, Tab, Shift+Tab, Esc, loss of focus, a click
// elsewhere in the same window or a turn of the mouse wheel. It reports how
// it ended to a counted callback once, and writes the user's text into a
// counted text record shared with whoever opened it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

#include "foundation/refcounted.h"
#include "ui/framework/window_object.h"

namespace inplace_edit {

// How an edit ended: the low byte of the code handed to the callback.
enum end_code : unsigned {
  end_cancel = 0,        // Esc: never commits
  end_next = 1,          // Tab
  end_previous = 2,      // Shift+Tab
  end_next_row = 3,      // Enter without Ctrl
  end_lost = 4,          // focus lost, a click outside, the mouse wheel
  commit_bit = 0x100,    // added when the text changed and the end was not Esc
};

// The box's style word.
enum edit_flags : unsigned {
  flag_read_only = 1,
  flag_multi_line = 2,
  flag_centred = 4,
  flag_right_aligned = 8,  // only without flag_centred
};

// A cell text with more than one line opens this many rows tall.
constexpr unsigned multi_line_rows = 5;

// The control id of the edit inside the box.
constexpr int edit_control_id = 666;

}  // namespace inplace_edit

// The text the box starts with and the user's edited text.
class inplace_edit_text final : public qiv::refcounted_object {
public:
  std::string text;
};

class inplace_edit_callback : public qiv::refcounted_object {
public:
  // Main thread, once per box: the end code, with inplace_edit::commit_bit
  // when the text was changed and the end was not Esc.
  virtual void done(unsigned end_code) = 0;
};

class inplace_edit_popup final : public window_object, public qiv::refcounted_object {
public:
  // Opens a box over `cell` (client coordinates of the list). A line count
  // above 1 makes it that many cells tall and multi-line. The box keeps a
  // reference to itself while its window exists. `autocomplete` may be null.
  // A window that cannot be made throws exception_win32.
  static qiv::ref_ptr<inplace_edit_popup> open(HWND list, RECT cell, unsigned line_count, unsigned flags,
                                               inplace_edit_text* text, inplace_edit_callback* callback,
                                               IEnumString* autocomplete, DWORD autocomplete_options);

  HWND edit() const noexcept { return edit_; }
  // The window exists and the box has not finished.
  bool is_alive() const noexcept { return handle() != nullptr && !finished_; }
  const std::string& text() const noexcept { return text_->text; }
  unsigned flags() const noexcept { return flags_; }

  // Asks the box to end with `code`; the first request wins. The end itself
  // runs from the message loop.
  void request_end(unsigned code);

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override;

private:
  inplace_edit_popup(HWND list, unsigned flags, inplace_edit_text* text, inplace_edit_callback* callback) noexcept;
  ~inplace_edit_popup() override = default;

  void create(const RECT& cell, IEnumString* autocomplete, DWORD autocomplete_options);
  bool on_edit_message(UINT message, WPARAM wparam);
  void hide();
  void finish(unsigned code);
  void destroy_once() noexcept;

  static constexpr UINT message_finish = WM_USER;
  static constexpr UINT message_hide = WM_USER + 1;
  static constexpr DWORD edit_map = 1;

  HWND list_;
  HWND edit_ = nullptr;
  unsigned flags_;
  qiv::ref_ptr<inplace_edit_text> text_;
  qiv::ref_ptr<inplace_edit_callback> callback_;
  contained_control edit_object_{*this, edit_map};
  // A one-line text too wide for a one-line box, shown in a box of rows.
  bool one_line_in_rows_ = false;
  bool shown_ = false;
  bool hidden_ = false;
  bool changed_ = false;
  bool end_requested_ = false;
  bool finished_ = false;
  bool destroyed_ = false;
};

// Opens a box on a list-view cell for a table of its own: scrolls the item
// fully into view and opens over the cell's label rectangle.
qiv::ref_ptr<inplace_edit_popup> edit_list_cell(HWND list, int item, int column, unsigned line_count, unsigned flags,
                                                inplace_edit_text* text, inplace_edit_callback* callback,
                                                IEnumString* autocomplete = nullptr,
                                                DWORD autocomplete_options = 0);
