#include "ui/controls/owner_list.h"

#include <commctrl.h>
#include <vssym32.h>

#include <algorithm>

#include "ui/controls/selection_masks.h"
#include "ui/controls/widest_text.h"
#include "ui/framework/double_buffer.h"
#include "ui/framework/system_function.h"
#include "ui/framework/window_class.h"
#include "ui/framework/window_utilities.h"

namespace {

constexpr DWORD type_to_find_window_ms = 1000;
constexpr wchar_t reference_text[] = L"ASDFASDFASDFASDFASDFASDFASDFASDFASDF";

// Touch functions appear only on systems with touch support: looked up once.
struct gesture_functions {
  using get_info_t = BOOL(WINAPI*)(HGESTUREINFO, PGESTUREINFO);
  using close_t = BOOL(WINAPI*)(HGESTUREINFO);
  using set_config_t = BOOL(WINAPI*)(HWND, DWORD, UINT, PGESTURECONFIG, UINT);
  get_info_t get_info = nullptr;
  close_t close = nullptr;
  set_config_t set_config = nullptr;

  static const gesture_functions& get() {
    static const gesture_functions functions = [] {
      gesture_functions found;
      found.get_info = find_system_function<get_info_t>(L"user32.dll", "GetGestureInfo");
      found.close = find_system_function<close_t>(L"user32.dll", "CloseGestureInfoHandle");
      found.set_config = find_system_function<set_config_t>(L"user32.dll", "SetGestureConfig");
      return found;
    }();
    return functions;
  }
};

wchar_t fold_case(wchar_t c) noexcept {
  if (c < 128) return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  return static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(c)))));
}

bool folded_equal(const wchar_t* a, const wchar_t* b, std::size_t length) noexcept {
  for (std::size_t i = 0; i < length; ++i)
    if (fold_case(a[i]) != fold_case(b[i])) return false;
  return true;
}

bool rect_is_empty(const RECT& r) noexcept { return r.right <= r.left || r.bottom <= r.top; }

ATOM owner_list_class() {
  static window_class_record record = [] {
    window_class_record r;
    r.description.style = CS_DBLCLKS;
    r.cursor = IDC_ARROW;
    r.class_name = L"Zorv:OwnerList";
    return r;
  }();
  return register_window_class(record);
}

}  // namespace

owner_list::~owner_list() {
  if (theme_ != nullptr) CloseThemeData(theme_);
}

HWND owner_list::create(HWND parent, const RECT& rectangle, UINT id, DWORD style) {
  return create_window(*this, parent, &rectangle, L"", style | WS_HSCROLL | WS_VSCROLL, 0, id, owner_list_class());
}

bool owner_list::is_selected(int index) const noexcept {
  return index >= 0 && index < item_count_ && selection_[index] != 0;
}

// ---- loading, metrics, layout ----

void owner_list::reload() {
  item_count_ = source_ != nullptr ? static_cast<int>(std::min<std::uint32_t>(source_->get_count(), INT_MAX / 2)) : 0;
  single_column_ = source_ != nullptr && source_->is_single_column();
  has_side_panel_ = single_column_ && source_->has_side_panel();
  selection_.assign(item_count_, 0);
  focus_index_ = -1;
  anchor_index_ = -1;
  drag_start_ = {};
  drag_current_ = {};
  compute_metrics();
  set_pan_configuration();
  if (layout_pending_) {
    layout_pending_ = false;
    lay_out();
  }
}

void owner_list::compute_metrics() {
  const HWND window = handle();
  if (window == nullptr) return;
  window_dc_holder dc(window, GetDC(window));
  if (dc.get() == nullptr) return;
  selected_object_holder font(dc.get(), font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  SIZE reference = {};
  GetTextExtentPoint32W(dc.get(), reference_text, 36, &reference);
  const widest_text_extent extent = measure_widest_text(
      dc.get(), static_cast<std::uint32_t>(item_count_),
      [&](std::uint32_t index, std::wstring& text) { source_->copy_text(index, text); });
  const int widest = extent.width;
  int tallest = extent.height;
  if (tallest == 0) {
    TEXTMETRICW font_metrics = {};
    GetTextMetricsW(dc.get(), &font_metrics);
    tallest = font_metrics.tmHeight;
  }
  metrics_ = compute_owner_list_metrics(widest, tallest, reference);
  if (source_ != nullptr) source_->set_icon_size(metrics_.icon_size.cx, metrics_.icon_size.cy);
  InvalidateRect(window, nullptr, FALSE);
  lay_out();
}

void owner_list::lay_out() {
  const HWND window = handle();
  if (window == nullptr) return;
  RECT client = {};
  GetClientRect(window, &client);
  const owner_list_layout before = layout_;
  const POINT scroll_before = {scroll_x_, scroll_y_};
  layout_ = lay_out_owner_list(metrics_, item_count_, single_column_, has_side_panel_, client.right, client.bottom);
  scroll_x_ = std::clamp(scroll_x_, 0, std::max(0, layout_.content_width - static_cast<int>(client.right)));
  scroll_y_ = std::clamp(scroll_y_, 0, std::max(0, layout_.content_height - static_cast<int>(client.bottom)));
  update_scroll_bars();
  if (before.content_width != layout_.content_width || before.content_height != layout_.content_height ||
      before.cell_width != layout_.cell_width || before.rows != layout_.rows || scroll_before.x != scroll_x_ ||
      scroll_before.y != scroll_y_ || has_side_panel_)
    InvalidateRect(window, nullptr, FALSE);
  hide_label();
}

void owner_list::update_scroll_bars() {
  RECT client = {};
  GetClientRect(handle(), &client);
  SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  info.nMax = layout_.content_height;
  info.nPage = client.bottom + 1;
  info.nPos = scroll_y_;
  // Both bars are drawn with the next paint: drawn at once, each costs a
  // round trip to the display while the window's thread waits.
  SetScrollInfo(handle(), SB_VERT, &info, FALSE);
  info.nMax = layout_.content_width;
  info.nPage = client.right + 1;
  info.nPos = scroll_x_;
  SetScrollInfo(handle(), SB_HORZ, &info, FALSE);
  RedrawWindow(handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

RECT owner_list::item_rect(int index) const noexcept {
  if (index < 0 || layout_.rows <= 0) return {};
  const int column = index / layout_.rows;
  const int row = index % layout_.rows;
  const int left = column * layout_.cell_width - scroll_x_;
  const int top = row * layout_.cell_height - scroll_y_;
  return {left, top, left + layout_.cell_width, top + layout_.cell_height};
}

// ---- selection and focus ----

void owner_list::set_selection(const qiv::bit_array& affected, const qiv::bit_array& state) {
  bool changed = false;
  for (std::uint32_t i = affected.find(true, 0, item_count_); i < static_cast<std::uint32_t>(item_count_);
       i = affected.find(true, i + 1, item_count_ - static_cast<std::int32_t>(i) - 1)) {
    const std::uint8_t value = state.get(i) ? 1 : 0;
    if (selection_[i] == value) continue;
    selection_[i] = value;
    invalidate_item(static_cast<int>(i));
    changed = true;
  }
  if (changed && source_ != nullptr) source_->selection_changed();
}

void owner_list::set_one(int index, bool value) {
  if (index < 0 || index >= item_count_) return;
  set_selection(single_bit_mask(index), constant_mask(value));
}

void owner_list::select_all(bool value) { set_selection(constant_mask(true), constant_mask(value)); }

void owner_list::select_only(int index) {
  for (int i = 0; i < item_count_; ++i)
    if (selection_[i] != 0 && i != index) set_one(i, false);
  set_one(index, true);
  move_focus(index);
  ensure_visible(index);
}

void owner_list::move_focus(int index) {
  if (index == focus_index_) return;
  if (focus_rect_visible_) invalidate_item(focus_index_);
  focus_index_ = index;
  if (focus_rect_visible_) invalidate_item(focus_index_);
}

void owner_list::set_focus_item(int index) {
  move_focus(index);
  ensure_visible(index);
}

void owner_list::hide_focus_frame() {
  if (!focus_rect_visible_) return;
  focus_rect_visible_ = false;
  invalidate_item(focus_index_);
}

void owner_list::invalidate_item(int index) {
  if (index < 0 || index >= item_count_ || handle() == nullptr) return;
  const RECT r = item_rect(index);
  InvalidateRect(handle(), &r, FALSE);
}

void owner_list::ensure_visible(int index) {
  if (index < 0 || index >= item_count_ || handle() == nullptr) return;
  RECT client = {};
  GetClientRect(handle(), &client);
  const RECT r = item_rect(index);
  int x = scroll_x_, y = scroll_y_;
  // The far edge first, so that the near edge wins for an item larger than
  // the window.
  if (r.right > client.right) x += r.right - client.right;
  if (r.left - (x - scroll_x_) < 0) x = scroll_x_ + r.left;
  if (r.bottom > client.bottom) y += r.bottom - client.bottom;
  if (r.top - (y - scroll_y_) < 0) y = scroll_y_ + r.top;
  scroll_to(x, y);
}

void owner_list::scroll_to(int x, int y) {
  const HWND window = handle();
  if (window == nullptr) return;
  RECT client = {};
  GetClientRect(window, &client);
  x = std::clamp(x, 0, std::max(0, layout_.content_width - static_cast<int>(client.right)));
  y = std::clamp(y, 0, std::max(0, layout_.content_height - static_cast<int>(client.bottom)));
  if (x == scroll_x_ && y == scroll_y_) return;
  const int dx = scroll_x_ - x, dy = scroll_y_ - y;
  scroll_x_ = x;
  scroll_y_ = y;
  ScrollWindow(window, dx, dy, nullptr, nullptr);
  update_scroll_bars();
  hide_label();
}

bool owner_list::focus_point(POINT& out) {
  if (focus_index_ < 0 || focus_index_ >= item_count_) return false;
  ensure_visible(focus_index_);
  RECT client = {}, visible = {};
  GetClientRect(handle(), &client);
  const RECT r = item_rect(focus_index_);
  if (!IntersectRect(&visible, &r, &client)) visible = r;
  out = {(visible.left + visible.right) / 2, (visible.top + visible.bottom) / 2};
  return true;
}

// ---- painting ----

COLORREF owner_list::colour(int kind) const {
  if (source_ != nullptr) return source_->get_colour(kind);
  switch (kind) {
  case owner_list_source::colour_text:
    return GetSysColor(COLOR_WINDOWTEXT);
  case owner_list_source::colour_selection: {
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT), window = GetSysColor(COLOR_WINDOW);
    const auto mid = [](int h, int w) { return h + MulDiv(w - h, 50, 100); };
    return RGB(mid(GetRValue(highlight), GetRValue(window)), mid(GetGValue(highlight), GetGValue(window)),
               mid(GetBValue(highlight), GetBValue(window)));
  }
  default:
    return GetSysColor(COLOR_WINDOW);
  }
}

void owner_list::paint(HDC dc, const RECT& clip) {
  SetBkColor(dc, colour(owner_list_source::colour_background));
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &clip, nullptr, 0, nullptr);
  selected_object_holder font(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  window_origin_holder origin(dc, scroll_x_, scroll_y_);
  RECT content_clip = clip;
  OffsetRect(&content_clip, scroll_x_, scroll_y_);

  RECT meet = {};
  if (has_side_panel_ && source_ != nullptr && IntersectRect(&meet, &layout_.side_panel, &content_clip)) {
    SetBkColor(dc, colour(owner_list_source::colour_background));
    SetTextColor(dc, colour(owner_list_source::colour_text));
    source_->paint_side_panel(layout_.side_panel, content_clip, layout_.side_panel_line_height, dc);
  }
  if (item_count_ == 0 || layout_.rows <= 0 || layout_.cell_width <= 0 || layout_.cell_height <= 0) return;
  // Only the cells that meet the clip: a list of 100,000 items repaints a
  // few dozen.
  const int first_column = std::max(0L, content_clip.left) / layout_.cell_width;
  const int last_column = std::max(0L, content_clip.right - 1) / layout_.cell_width;
  const int first_row = std::max(0L, content_clip.top) / layout_.cell_height;
  const int last_row = std::min(layout_.rows - 1, static_cast<int>(std::max(0L, content_clip.bottom - 1) / layout_.cell_height));
  for (int column = first_column; column <= last_column; ++column) {
    for (int row = first_row; row <= last_row; ++row) {
      const long long index = static_cast<long long>(column) * layout_.rows + row;
      if (index >= item_count_) break;
      const RECT cell = {column * layout_.cell_width, row * layout_.cell_height, (column + 1) * layout_.cell_width,
                         (row + 1) * layout_.cell_height};
      paint_item(dc, static_cast<int>(index), cell, content_clip);
    }
  }
}

void owner_list::paint_item(HDC dc, int index, const RECT& cell, const RECT& clip) {
  if (selection_[index] != 0) {
    if (theme_ != nullptr && IsThemePartDefined(theme_, LVP_LISTITEM, 0)) {
      DrawThemeBackground(theme_, dc, LVP_LISTITEM, has_focus_ ? LISS_SELECTED : LISS_SELECTEDNOTFOCUS, &cell, &clip);
    } else {
      SetBkColor(dc, colour(owner_list_source::colour_selection));
      ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &cell, nullptr, 0, nullptr);
    }
  }
  if (index == focus_index_ && focus_rect_visible_) {
    SetDCBrushColor(dc, RGB(0x7F, 0x7F, 0x7F));
    FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
  const std::wstring text = source_->get_text(index);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour(owner_list_source::colour_text));
  RECT text_rect = {cell.left + metrics_.text_offset, cell.top, cell.right - metrics_.text_right_margin, cell.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_rect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (const HICON icon = source_->get_icon(index))
    DrawIconEx(dc, cell.left + metrics_.icon_offset.x, cell.top + metrics_.icon_offset.y, icon,
               metrics_.icon_size.cx, metrics_.icon_size.cy, 0, nullptr, DI_NORMAL);
}

// ---- scrolling ----

void owner_list::on_scroll_bar(bool horizontal, int command) {
  SCROLLINFO info = {sizeof(info), SIF_TRACKPOS, 0, 0, 0, 0, 0};
  GetScrollInfo(handle(), horizontal ? SB_HORZ : SB_VERT, &info);
  int x = scroll_x_, y = scroll_y_;
  if (horizontal) {
    switch (command) {
    case SB_LINELEFT: x -= layout_.cell_height; break;
    case SB_LINERIGHT: x += layout_.cell_height; break;
    case SB_PAGELEFT: x -= layout_.cell_width; break;
    case SB_PAGERIGHT: x += layout_.cell_width; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: x = info.nTrackPos; break;
    case SB_LEFT: x = 0; break;
    case SB_RIGHT: x = layout_.content_width - layout_.cell_width; break;
    default: return;
    }
  } else {
    const int page = static_cast<int>(static_cast<unsigned>(layout_.rows * layout_.cell_height) >> 1);
    switch (command) {
    case SB_LINEUP: y -= layout_.cell_height; break;
    case SB_LINEDOWN: y += layout_.cell_height; break;
    case SB_PAGEUP: y -= page; break;
    case SB_PAGEDOWN: y += page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: y = info.nTrackPos; break;
    case SB_TOP: y = 0; break;
    case SB_BOTTOM: y = layout_.content_height - page; break;
    default: return;
    }
  }
  scroll_to(x, y);
}

void owner_list::on_wheel(bool horizontal, int delta) {
  UINT lines = 3;
  SystemParametersInfoW(horizontal ? SPI_GETWHEELSCROLLCHARS : SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  RECT client = {};
  GetClientRect(handle(), &client);
  const bool taller = layout_.content_height > client.bottom;
  const bool wider = layout_.content_width > client.right;
  const bool scroll_vertically = !horizontal && taller;
  const bool scroll_horizontally = horizontal || (!taller && wider);
  if (!scroll_vertically && !scroll_horizontally) return;
  wheel_accumulator& accumulator = horizontal ? wheel_horizontal_ : wheel_vertical_;
  int distance;
  if (lines == WHEEL_PAGESCROLL) {
    accumulator.reset();
    const int page = scroll_vertically ? client.bottom : client.right;
    distance = delta > 0 ? page : delta < 0 ? -page : 0;
  } else {
    distance = accumulator.add(delta, lines, layout_.cell_height);
  }
  if (distance == 0) return;
  // A vertical wheel turned away from the user goes towards the start; a
  // horizontal tilt to the right towards the end.
  if (scroll_vertically)
    scroll_to(scroll_x_, scroll_y_ - distance);
  else if (horizontal)
    scroll_to(scroll_x_ + distance, scroll_y_);
  else
    scroll_to(scroll_x_ - distance, scroll_y_);
}

void owner_list::set_pan_configuration() {
  const auto& functions = gesture_functions::get();
  if (functions.set_config == nullptr || handle() == nullptr) return;
  GESTURECONFIG config = {GID_PAN, 0, 0};
  if (single_column_) {
    config.dwWant = GC_PAN_WITH_SINGLE_FINGER_VERTICALLY | GC_PAN_WITH_INERTIA;
    config.dwBlock = GC_PAN_WITH_SINGLE_FINGER_HORIZONTALLY | GC_PAN_WITH_GUTTER;
  } else {
    config.dwWant = GC_PAN_WITH_SINGLE_FINGER_HORIZONTALLY | GC_PAN_WITH_INERTIA;
    config.dwBlock = GC_PAN_WITH_SINGLE_FINGER_VERTICALLY | GC_PAN_WITH_GUTTER;
  }
  functions.set_config(handle(), 0, 1, &config, sizeof(config));
}

bool owner_list::on_gesture(LPARAM lparam) {
  const auto& functions = gesture_functions::get();
  if (functions.get_info == nullptr || functions.close == nullptr) return false;
  const auto gesture = reinterpret_cast<HGESTUREINFO>(lparam);
  GESTUREINFO info = {};
  info.cbSize = sizeof(info);
  if (!functions.get_info(gesture, &info)) return false;
  if (info.dwID == GID_BEGIN) {
    last_pan_ = {info.ptsLocation.x, info.ptsLocation.y};
  } else if (info.dwID == GID_PAN) {
    scroll_to(scroll_x_ + last_pan_.x - info.ptsLocation.x, scroll_y_ + last_pan_.y - info.ptsLocation.y);
    last_pan_ = {info.ptsLocation.x, info.ptsLocation.y};
  }
  functions.close(gesture);
  return true;
}

// ---- mouse ----

void owner_list::on_button_down(bool right, POINT point) {
  hide_focus_frame();
  SetFocus(handle());
  if (drag_start_.index >= 0) {
    end_drag();
    return;
  }
  drag_end hit;
  if (!owner_list_drag_hit(layout_, item_count_, point, {scroll_x_, scroll_y_}, hit)) {
    select_all(false);
    move_focus(-1);
    return;
  }
  const int item = hit.included ? hit.index : -1;
  if (right && item >= 0 && selection_[item] != 0) {
    set_focus_item(item);
    return;
  }
  const unsigned modifiers = key_modifiers();
  const bool ctrl = (modifiers & modifier_ctrl) != 0;
  const bool shift = (modifiers & modifier_shift) != 0;
  if (!ctrl) select_all(false);
  if (shift) {
    // A Shift-click keeps extending from the same place on the next one.
    if (anchor_index_ < 0) anchor_index_ = focus_index_ >= 0 ? focus_index_ : std::min(hit.index, item_count_ - 1);
    drag_start_ = {anchor_index_, true};
  } else {
    drag_start_ = hit;
    anchor_index_ = -1;
  }
  drag_ctrl_ = ctrl;
  drag_right_button_ = right;
  drag_current_ = drag_start_;
  if (item >= 0) set_focus_item(item);
  apply_drag(nullptr, hit);
  SetCapture(handle());
}

void owner_list::apply_drag(const drag_end* old_current, drag_end new_current) {
  int low = std::min(drag_start_.index, new_current.index);
  int high = std::max(drag_start_.index, new_current.index);
  if (old_current != nullptr) {
    low = std::min(low, old_current->index);
    high = std::max(high, old_current->index);
  }
  low = std::max(low, 0);
  high = std::min(high, item_count_ - 1);
  for (int i = low; i <= high; ++i) {
    const bool was = old_current != nullptr && drag_range_contains(drag_start_, *old_current, i);
    const bool now = drag_range_contains(drag_start_, new_current, i);
    if (was == now) continue;
    set_one(i, drag_ctrl_ ? selection_[i] == 0 : now);
  }
  drag_current_ = new_current;
}

void owner_list::on_mouse_move(POINT point, WPARAM) {
  TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER, handle(), HOVER_DEFAULT};
  TrackMouseEvent(&track);
  if (!rect_is_empty(label_rect_)) {
    POINT screen = point;
    ClientToScreen(handle(), &screen);
    if (!PtInRect(&label_rect_, screen)) hide_label();
  }
  if (drag_start_.index < 0) return;
  drag_end hit;
  if (!owner_list_drag_hit(layout_, item_count_, point, {scroll_x_, scroll_y_}, hit)) return;
  if (hit.included) set_focus_item(hit.index);
  if (hit.index != drag_current_.index || hit.included != drag_current_.included) {
    const drag_end old_current = drag_current_;
    apply_drag(&old_current, hit);
  }
}

void owner_list::end_drag() {
  const bool dragging = drag_start_.index >= 0;
  drag_start_ = {};
  drag_current_ = {};
  if (dragging && GetCapture() == handle()) ReleaseCapture();
}

// ---- keyboard and type-to-find ----

bool owner_list::on_key_down(WPARAM key) {
  const unsigned modifiers = key_modifiers();
  RECT client = {};
  GetClientRect(handle(), &client);
  switch (key) {
  case VK_RETURN:
    if (source_ != nullptr) source_->activate();
    return true;
  case VK_SPACE:
    if (last_char_time_ != 0 && GetTickCount() - last_char_time_ < type_to_find_window_ms) return true;
    if (focus_index_ >= 0) set_one(focus_index_, selection_[focus_index_] == 0);
    focus_rect_visible_ = true;
    invalidate_item(focus_index_);
    return true;
  case VK_END:
    if (item_count_ > 0) go_to(item_count_ - 1);
    return true;
  case VK_HOME:
    if (item_count_ > 0) go_to(0);
    return true;
  case VK_LEFT:
  case VK_RIGHT:
  case VK_UP:
  case VK_DOWN:
  case VK_PRIOR:
  case VK_NEXT: {
    if (item_count_ == 0) return true;
    int step = 1;
    if (key == VK_LEFT || key == VK_RIGHT) step = layout_.rows;
    if (key == VK_PRIOR || key == VK_NEXT) {
      // A page is what the window shows: its whole rows, and in columns its
      // whole columns of rows.
      const int visible_rows = layout_.cell_height > 0 ? std::max(1, static_cast<int>(client.bottom) / layout_.cell_height) : 1;
      const int visible_columns = layout_.cell_width > 0 ? std::max(1, static_cast<int>(client.right) / layout_.cell_width) : 1;
      step = layout_.multi_column ? layout_.rows * visible_columns : visible_rows;
    }
    const bool backwards = key == VK_LEFT || key == VK_UP || key == VK_PRIOR;
    const long long from = focus_index_ >= 0 ? focus_index_ : 0;
    const long long target = focus_index_ >= 0 ? from + (backwards ? -step : step) : 0;
    go_to(static_cast<int>(std::clamp<long long>(target, 0, item_count_ - 1)));
    return true;
  }
  case 'A':
    if (modifiers != modifier_ctrl) return false;
    select_all(true);
    return true;
  default:
    return false;
  }
}

void owner_list::go_to(int target) {
  if (item_count_ == 0) return;
  target = std::clamp(target, 0, item_count_ - 1);
  const unsigned modifiers = key_modifiers();
  const bool ctrl = (modifiers & modifier_ctrl) != 0;
  const bool shift = (modifiers & modifier_shift) != 0;
  focus_rect_visible_ = true;
  if (ctrl) {
    invalidate_item(focus_index_);
    set_focus_item(target);
    invalidate_item(target);
    return;
  }
  if (shift) {
    if (anchor_index_ < 0) anchor_index_ = focus_index_ >= 0 ? focus_index_ : target;
    const int low = std::min(anchor_index_, target), high = std::max(anchor_index_, target);
    for (int i = 0; i < item_count_; ++i)
      if ((selection_[i] != 0) != (i >= low && i <= high)) set_one(i, i >= low && i <= high);
    invalidate_item(focus_index_);
    set_focus_item(target);
    invalidate_item(target);
    return;
  }
  anchor_index_ = -1;
  invalidate_item(focus_index_);
  select_only(target);
  invalidate_item(target);
}

void owner_list::on_char(wchar_t character) {
  if (character < 32) {
    last_char_time_ = 0;
    return;
  }
  const DWORD now = GetTickCount();
  if (last_char_time_ == 0 || now - last_char_time_ >= type_to_find_window_ms) search_text_.clear();
  if (character == L' ' && search_text_.empty()) {
    last_char_time_ = 0;
    return;
  }
  last_char_time_ = now != 0 ? now : 0xFFFFFFFF;
  search_text_ += character;
  if (item_count_ == 0) return;
  int found = find_item(true);
  if (found < 0) found = find_item(false);
  if (found < 0) {
    MessageBeep(0);
    return;
  }
  focus_rect_visible_ = true;
  invalidate_item(focus_index_);
  select_only(found);
  invalidate_item(found);
}

int owner_list::find_item(bool prefix) const {
  const int start = focus_index_ >= 0 ? focus_index_ : 0;
  const std::size_t length = search_text_.size();
  for (int step = 0; step < item_count_; ++step) {
    const int index = (start + step) % item_count_;
    const std::wstring text = source_->get_text(index);
    if (text.size() < length) continue;
    if (prefix) {
      if (folded_equal(text.c_str(), search_text_.c_str(), length)) return index;
    } else {
      for (std::size_t at = 0; at + length <= text.size(); ++at)
        if (folded_equal(text.c_str() + at, search_text_.c_str(), length)) return index;
    }
  }
  return -1;
}

// ---- label tooltip ----

void owner_list::on_hover(POINT point, WPARAM buttons) {
  if ((buttons & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0 || !rect_is_empty(label_rect_)) return;
  const int index = owner_list_exact_hit(layout_, item_count_, point, {scroll_x_, scroll_y_});
  if (index < 0 || source_ == nullptr) return;
  const std::wstring text = source_->get_text(index);
  SIZE extent = {};
  {
    window_dc_holder dc(handle(), GetDC(handle()));
    selected_object_holder font(dc.get(), font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  const RECT cell = item_rect(index);
  const int needed = extent.cx + metrics_.text_offset;
  if (point.x >= cell.left + needed) return;
  RECT client = {};
  GetClientRect(handle(), &client);
  const bool fits = extent.cx <= layout_.cell_width - metrics_.text_offset - metrics_.text_right_margin;
  if (fits && cell.right <= client.right && cell.top >= 0 && cell.bottom <= client.bottom) return;

  RECT label = {cell.left + metrics_.text_offset - 2 * metrics_.margin, cell.top, cell.right, cell.bottom};
  MapWindowPoints(handle(), nullptr, reinterpret_cast<POINT*>(&label), 2);
  if (tooltip_ == nullptr) {
    tooltip_ = CreateWindowExW(WS_EX_TRANSPARENT, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, handle(), nullptr,
                               nullptr, nullptr);
    if (tooltip_ == nullptr) return;
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(handle());
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  label_rect_ = label;
  label_text_ = text;
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = handle();
  tool.uId = reinterpret_cast<UINT_PTR>(handle());
  SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(label.left, label.top));
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  // Also here, not only on TTN_SHOW: a tooltip that never announces itself
  // would otherwise stay after the pointer left the window.
  SetTimer(handle(), label_timer_id, 50, nullptr);
}

void owner_list::check_label() {
  if (rect_is_empty(label_rect_)) return;
  POINT pointer = {};
  GetCursorPos(&pointer);
  RECT client = {};
  GetClientRect(handle(), &client);
  MapWindowPoints(handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  if (!PtInRect(&client, pointer) || !PtInRect(&label_rect_, pointer)) hide_label();
}

void owner_list::hide_label() {
  if (rect_is_empty(label_rect_)) return;
  label_rect_ = {};
  label_text_.clear();
  if (tooltip_ != nullptr) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(handle());
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
  }
  KillTimer(handle(), label_timer_id);
}

LRESULT owner_list::on_notify(const NMHDR& header) {
  switch (header.code) {
  case TTN_GETDISPINFOW: {
    auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
    info.lpszText = const_cast<wchar_t*>(label_text_.c_str());
    return 0;
  }
  case TTN_SHOW:
    SetTimer(handle(), label_timer_id, 50, nullptr);
    return 0;
  case TTN_POP:
    KillTimer(handle(), label_timer_id);
    return 0;
  default:
    return 0;
  }
}

// ---- messages ----

bool owner_list::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) {
  const POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  result = 0;
  switch (message) {
  case WM_CREATE:
    SetWindowTheme(window, L"explorer", nullptr);
    theme_ = OpenThemeData(window, L"LISTVIEW");
    reload();
    return true;
  case WM_DESTROY:
    if (tooltip_ != nullptr) DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    KillTimer(window, label_timer_id);
    return true;
  case WM_SIZE:
    if (!layout_pending_) {
      layout_pending_ = true;
      PostMessageW(window, deferred_layout_message, 0, 0);
    }
    return true;
  case deferred_layout_message:
    if (layout_pending_) {
      layout_pending_ = false;
      lay_out();
    }
    return true;
  case WM_SETFONT:
    font_ = reinterpret_cast<HFONT>(wparam);
    compute_metrics();
    if (tooltip_ != nullptr) SendMessageW(tooltip_, WM_SETFONT, wparam, FALSE);
    return true;
  case WM_GETFONT:
    result = reinterpret_cast<LRESULT>(font_);
    return true;
  case WM_PAINT: {
    paint_scope scope(window);
    if (scope.dc() == nullptr) return true;
    const RECT clip = scope.paint_struct().rcPaint;
    double_buffer buffer;
    const HDC target = buffer.begin(scope.dc(), clip);
    paint(target != nullptr ? target : scope.dc(), clip);
    return true;
  }
  case WM_PRINTCLIENT: {
    if ((lparam & PRF_CHECKVISIBLE) != 0 && !IsWindowVisible(window)) return true;
    RECT client = {};
    GetClientRect(window, &client);
    paint(reinterpret_cast<HDC>(wparam), client);
    return true;
  }
  case WM_ERASEBKGND:
    result = 1;
    return true;
  case WM_THEMECHANGED:
    if (theme_ != nullptr) CloseThemeData(theme_);
    theme_ = OpenThemeData(window, L"LISTVIEW");
    InvalidateRect(window, nullptr, FALSE);
    return true;
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
    has_focus_ = message == WM_SETFOCUS;
    for (int i = 0; i < item_count_; ++i)
      if (selection_[i] != 0) invalidate_item(i);
    if (!has_focus_) hide_focus_frame();
    return true;
  case WM_HSCROLL:
  case WM_VSCROLL:
    on_scroll_bar(message == WM_HSCROLL, LOWORD(wparam));
    return true;
  case WM_MOUSEWHEEL:
  case WM_MOUSEHWHEEL:
    on_wheel(message == WM_MOUSEHWHEEL, GET_WHEEL_DELTA_WPARAM(wparam));
    return true;
  case WM_GESTURE:
    return on_gesture(lparam);
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
    on_button_down(message == WM_RBUTTONDOWN, point);
    return true;
  case WM_MOUSEMOVE:
    on_mouse_move(point, wparam);
    return true;
  case WM_LBUTTONUP:
    end_drag();
    return true;
  case WM_RBUTTONUP:
    end_drag();
    return false;
  case WM_CAPTURECHANGED:
    // Another window took the mouse: the button-up will never come here.
    if (reinterpret_cast<HWND>(lparam) != window) {
      drag_start_ = {};
      drag_current_ = {};
    }
    return false;
  case WM_LBUTTONDBLCLK: {
    hide_focus_frame();
    SetFocus(window);
    select_only(owner_list_exact_hit(layout_, item_count_, point, {scroll_x_, scroll_y_}));
    if (source_ != nullptr) source_->activate();
    return true;
  }
  case WM_MBUTTONDOWN:
  case WM_MBUTTONDBLCLK:
  case WM_RBUTTONDBLCLK:
    hide_focus_frame();
    SetFocus(window);
    return false;
  case WM_MOUSEHOVER:
    on_hover(point, wparam);
    return true;
  case WM_TIMER:
    if (wparam != label_timer_id) return false;
    check_label();
    return true;
  case WM_NOTIFY: {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header == nullptr || tooltip_ == nullptr || header->hwndFrom != tooltip_) return false;
    result = on_notify(*header);
    return true;
  }
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
    return on_key_down(wparam);
  case WM_CHAR:
    on_char(static_cast<wchar_t>(wparam));
    return true;
  case WM_GETDLGCODE: {
    const auto* asked = reinterpret_cast<const MSG*>(lparam);
    if (asked == nullptr || asked->message == WM_CHAR ||
        ((asked->message == WM_KEYDOWN || asked->message == WM_KEYUP) && asked->wParam != VK_TAB &&
         asked->wParam != VK_ESCAPE)) {
      result = DLGC_WANTALLKEYS;
      return true;
    }
    return false;
  }
  default:
    return false;
  }
}
