// The owner of an editable table: opens the cell editor on a cell, takes the
// committed text, and walks on to the next editable cell in the order the
// columns are shown on screen when the edit ended with Tab, Shift+Tab or
// Enter. The table derives from it and supplies its list, which columns are
// editable and their edit flags; the texts default to the list's own cells.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/com_ptr.h"
#include "ui/framework/inplace_edit_popup.h"

// Moves (row, slot) over rows x slots cells: direction 1 to the next slot,
// wrapping to slot 0 of the next row; 2 to the previous slot, wrapping to the
// last slot of the previous row; 3 to the same slot of the next row. False,
// and nothing moved, for any other direction or a move off the table.
bool advance_cell(int& row, int& slot, int rows, int slots, unsigned direction) noexcept;

class inplace_edit_host {
public:
  // Other features of a table test for this key to know an edit is open.
  static constexpr unsigned edit_key = 0x6F0A3DE6;

  inplace_edit_host() = default;
  inplace_edit_host(const inplace_edit_host&) = delete;
  inplace_edit_host& operator=(const inplace_edit_host&) = delete;
  // An open edit is cut loose without committing and without
  // on_edit_finished.
  virtual ~inplace_edit_host();

  // Opens the editor on the cell (a column index of the list). Throws
  // exception_win32 when the box cannot be made.
  void begin_edit(int item, int column);
  // Closes an open edit from outside (the dialog closing): commits the
  // current text when asked and the cell is not read-only.
  void end(bool commit);
  bool is_editing() const noexcept { return pending_.count(edit_key) != 0; }
  int edited_item() const noexcept { return item_; }
  int edited_column() const noexcept { return column_; }
  // The box while an edit is open, else null.
  inplace_edit_popup* popup() const noexcept { return popup_.get(); }

  // The box's end, reached through its callback.
  virtual void on_edit_end(unsigned key, unsigned code);

protected:
  virtual bool get_cell_rect(int item, int column, RECT& out);
  // False refuses the cell: nothing opens. The default reads the cell and
  // answers a line count of 5 for a text with a line break, else 1.
  virtual bool get_cell_text(int item, int column, std::string& out, unsigned& line_count);
  virtual void set_cell_text(int item, int column, const char* text);
  virtual HWND get_list() = 0;
  virtual bool next_cell(int& item, int& column, unsigned code);
  virtual void on_edit_finished() {}
  virtual int get_item_count();
  virtual int get_column_count() = 0;
  virtual void select_item(int item);
  virtual bool is_column_editable(int column) = 0;
  // Display position to column index, one entry per column.
  virtual bool get_column_order(std::vector<int>& out);
  virtual unsigned get_edit_flags(int item, int column) = 0;
  // A cell's suggestions; none by default.
  virtual bool get_autocomplete(int /*item*/, int /*column*/, qiv::com_ptr<IEnumString>& /*out*/) { return false; }

private:
  class edit_callback;
  void drop_edit() noexcept;

  int item_ = -1;
  int column_ = -1;
  unsigned flags_ = 0;
  qiv::ref_ptr<inplace_edit_popup> popup_;
  // The callbacks of operations still open, by key; the editor's is edit_key.
  std::map<unsigned, qiv::ref_ptr<inplace_edit_callback>> pending_;
};
