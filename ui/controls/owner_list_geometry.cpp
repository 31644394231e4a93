#include "ui/controls/owner_list_geometry.h"

#include <algorithm>

owner_list_metrics compute_owner_list_metrics(int text_max_width, int text_height, SIZE reference) noexcept {
  owner_list_metrics m;
  m.text_max_width = text_max_width;
  m.text_height = text_height;
  m.margin = text_height / 8;
  m.icon_offset = {m.margin, m.margin};
  m.icon_size = {text_height, text_height};
  m.text_offset = text_height + 2 * m.margin;
  m.text_right_margin = m.margin;
  m.natural_cell_width = text_max_width + text_height + 3 * m.margin;
  m.cell_height = text_height + 2 * m.margin;
  m.reference = reference;
  return m;
}

owner_list_layout lay_out_owner_list(const owner_list_metrics& metrics, int item_count, bool single_column,
                                     bool side_panel, int client_width, int client_height) noexcept {
  owner_list_layout layout;
  layout.cell_height = metrics.cell_height;
  const long long column_height = static_cast<long long>(item_count) * metrics.cell_height;
  if (!single_column && metrics.cell_height > 0 && column_height > client_height) {
    layout.multi_column = true;
    layout.rows = std::max(1, client_height / metrics.cell_height);
    layout.cell_width = std::min(metrics.natural_cell_width, static_cast<int>(metrics.reference.cx));
    const int columns = (item_count + layout.rows - 1) / layout.rows;
    layout.content_width = columns * layout.cell_width;
    layout.content_height = client_height;
  } else {
    layout.rows = item_count;
    layout.cell_width = metrics.natural_cell_width;
    layout.content_width = item_count > 0 ? layout.cell_width : 0;
    if (side_panel) layout.content_width = std::min(layout.cell_width, client_width / 2);
    layout.content_height = static_cast<int>(std::min<long long>(column_height, INT_MAX));
  }
  if (single_column && side_panel) {
    const int half = client_width / 2;
    const int panel_height = std::min(client_height, client_width - half);
    layout.side_panel = {half, 0, client_width, panel_height};
    layout.side_panel_line_height = std::min(metrics.cell_height, panel_height / 4);
    layout.cell_width = std::min(layout.cell_width, half);
  }
  return layout;
}

int owner_list_exact_hit(const owner_list_layout& layout, int item_count, POINT point, POINT scroll) noexcept {
  if (layout.cell_height <= 0 || layout.cell_width <= 0) return -1;
  const int x = point.x + scroll.x;
  const int y = point.y + scroll.y;
  if (x < 0 || y < 0) return -1;
  const int row = y / layout.cell_height;
  if (row >= layout.rows) return -1;
  const long long index = static_cast<long long>(x / layout.cell_width) * layout.rows + row;
  return index < item_count ? static_cast<int>(index) : -1;
}

bool owner_list_drag_hit(const owner_list_layout& layout, int item_count, POINT point, POINT scroll,
                         drag_end& out) noexcept {
  if (item_count <= 0 || layout.rows <= 0 || layout.cell_height <= 0 || layout.cell_width <= 0) return false;
  const int x = std::max(0L, point.x) + scroll.x;
  const int y = std::max(0L, point.y) + scroll.y;
  const int column = x / layout.cell_width;
  if (!layout.multi_column && column != 0) return false;
  bool past_end = false;
  int row = y / layout.cell_height;
  if (row >= layout.rows) {
    row = layout.rows - 1;
    past_end = true;
  }
  long long index = static_cast<long long>(column) * layout.rows + row;
  if (index >= item_count) {
    index = item_count - 1;
    past_end = true;
  }
  // A position after an item is the start of the next one, not the item.
  out = past_end ? drag_end{static_cast<int>(index) + 1, false} : drag_end{static_cast<int>(index), true};
  return true;
}

bool drag_range_contains(drag_end a, drag_end b, int index) noexcept {
  if (b.index < a.index) std::swap(a, b);
  const bool above_lower = index > a.index || (index == a.index && a.included);
  const bool below_upper = index < b.index || (index == b.index && b.included);
  return above_lower && below_upper;
}

int wheel_accumulator::add(int delta, unsigned lines, int line_height) noexcept {
  if (line_height <= 0) return 0;
  remainder_ += static_cast<long long>(delta) * 10000;
  const long long per_notch = static_cast<long long>(line_height) * std::max(lines, 1u);
  const long long unit = std::max(1LL, 1200000 / per_notch);
  const long long magnitude = remainder_ < 0 ? -remainder_ : remainder_;
  if (magnitude < unit) return 0;
  // Whole units scroll and the rest waits for the next message, so nothing is
  // counted twice and a notch moves exactly its lines.
  const long long pixels = magnitude / unit;
  const int sign = remainder_ < 0 ? -1 : 1;
  remainder_ = sign * (magnitude % unit);
  return static_cast<int>(sign * std::min<long long>(pixels, INT_MAX));
}
