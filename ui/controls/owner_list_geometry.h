// Where the cells of the owner-drawn list lie, which cell a point hits and how
// far the wheel moves it: the arithmetic of the list, apart from its window so
// that it can be checked on its own.
#pragma once

#include <windows.h>

// Sizes that follow from the font and the item texts.
struct owner_list_metrics {
  int text_max_width = 0;
  int text_height = 0;
  int margin = 0;
  POINT icon_offset = {};
  SIZE icon_size = {};
  int text_offset = 0;
  int text_right_margin = 0;
  int natural_cell_width = 0;
  int cell_height = 0;
  // Extent of a 36-character reference text: the widest a cell may be when
  // the items flow over several columns.
  SIZE reference = {};
};

// `text_height` is the tallest item text, or the font's height when there is
// no item to measure: a list without items still needs a cell height, as a
// click or a wheel turn divides by it.
owner_list_metrics compute_owner_list_metrics(int text_max_width, int text_height, SIZE reference) noexcept;

struct owner_list_layout {
  int cell_width = 0;
  int cell_height = 0;
  int rows = 0;
  int content_width = 0;
  int content_height = 0;
  bool multi_column = false;
  RECT side_panel = {};
  int side_panel_line_height = 0;
};

owner_list_layout lay_out_owner_list(const owner_list_metrics& metrics, int item_count, bool single_column,
                                     bool side_panel, int client_width, int client_height) noexcept;

// The item under a client point, or -1.
int owner_list_exact_hit(const owner_list_layout& layout, int item_count, POINT point, POINT scroll) noexcept;

// One end of a drag range: an item that was hit (included) or the position
// just before `index` (excluded).
struct drag_end {
  int index = -1;
  bool included = false;
};

// The drag end under a client point: points left of or above the list count
// as its edge, points past the last row or item as just after it. False when
// nothing can be hit (no items, no cell size, or right of a single column).
bool owner_list_drag_hit(const owner_list_layout& layout, int item_count, POINT point, POINT scroll,
                         drag_end& out) noexcept;

// Whether `index` lies between the two ends, taken in either order; lying on
// an end counts only when that end is included.
bool drag_range_contains(drag_end a, drag_end b, int index) noexcept;

// Wheel input in 1/10000 of a notch, carried between messages so that the
// small steps of a precise wheel add up.
class wheel_accumulator {
public:
  // Pixels to scroll for `delta` (signed like the delta; 0 until a whole
  // unit has gathered), for `lines` wheel lines of `line_height` pixels.
  // A zero line height never scrolls.
  int add(int delta, unsigned lines, int line_height) noexcept;
  void reset() noexcept { remainder_ = 0; }
  long long remainder() const noexcept { return remainder_; }

private:
  long long remainder_ = 0;
};
