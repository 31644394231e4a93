// The owner-drawn list of the main window: a grid of icon-and-text cells fed
// by an item source, scrolled, selected with mouse and keyboard, searched by
// typing, with the full text of a truncated item in a tooltip over it.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bit_array.h"
#include "ui/controls/owner_list_geometry.h"
#include "ui/controls/owner_list_source.h"
#include "ui/framework/window_object.h"

class owner_list : public window_object {
public:
  explicit owner_list(owner_list_source* source) noexcept : source_(source) {}
  ~owner_list() override;

  // Makes the list's window, a child of `parent`.
  HWND create(HWND parent, const RECT& rectangle, UINT id, DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP);

  // Reads the source again: count and column mode; selection, focus, anchor
  // and drag start over.
  void reload();
  // Each affected item whose selection differs from `state` changes;
  // selection_changed comes once when any did.
  void set_selection(const qiv::bit_array& affected, const qiv::bit_array& state);
  // Exactly `index` selected (nothing for -1), focused and scrolled into view.
  void select_only(int index);
  void select_all(bool value);
  void set_focus_item(int index);
  void ensure_visible(int index);
  void scroll_to(int x, int y);
  void invalidate_item(int index);
  // The centre of the visible part of the focus item, after scrolling it
  // into view (where a context menu opened by keyboard goes); false when
  // there is no focus item.
  bool focus_point(POINT& out);

  // State for the owner and for tests.
  int item_count() const noexcept { return item_count_; }
  int focus_index() const noexcept { return focus_index_; }
  int anchor_index() const noexcept { return anchor_index_; }
  bool is_selected(int index) const noexcept;
  POINT scroll_position() const noexcept { return {scroll_x_, scroll_y_}; }
  const owner_list_layout& layout() const noexcept { return layout_; }
  const owner_list_metrics& metrics() const noexcept { return metrics_; }
  bool focus_rect_visible() const noexcept { return focus_rect_visible_; }
  // The text of the label tooltip while it is shown, else empty.
  const std::wstring& label_text() const noexcept { return label_text_; }
  HWND label_tooltip() const noexcept { return tooltip_; }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

  // Private message of the deferred layout.
  static constexpr UINT deferred_layout_message = WM_USER + 16;
  static constexpr UINT_PTR label_timer_id = 0x51DBEE9E;

private:
  void compute_metrics();
  void lay_out();
  void update_scroll_bars();
  RECT item_rect(int index) const noexcept;  // in client coordinates
  void set_one(int index, bool value);
  void move_focus(int index);
  void hide_focus_frame();

  void paint(HDC dc, const RECT& clip);
  void paint_item(HDC dc, int index, const RECT& cell, const RECT& clip);
  COLORREF colour(int kind) const;

  void on_scroll_bar(bool horizontal, int command);
  void on_wheel(bool horizontal, int delta);
  bool on_gesture(LPARAM lparam);
  void on_button_down(bool right, POINT point);
  void on_mouse_move(POINT point, WPARAM buttons);
  void end_drag();
  // Items whose membership changed between the old range (none: empty) and
  // the new one are selected, deselected or, with Ctrl, toggled.
  void apply_drag(const drag_end* old_current, drag_end new_current);
  bool on_key_down(WPARAM key);
  void go_to(int target);
  void on_char(wchar_t character);
  int find_item(bool prefix) const;

  void on_hover(POINT point, WPARAM buttons);
  void check_label();
  void hide_label();
  LRESULT on_notify(const NMHDR& header);

  void set_pan_configuration();

  owner_list_source* source_;
  HTHEME theme_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<std::uint8_t> selection_;
  int item_count_ = 0;
  int focus_index_ = -1;
  int anchor_index_ = -1;
  bool has_focus_ = false;
  bool focus_rect_visible_ = false;
  bool single_column_ = false;
  bool has_side_panel_ = false;
  bool layout_pending_ = false;
  owner_list_metrics metrics_;
  owner_list_layout layout_;
  int scroll_x_ = 0;
  int scroll_y_ = 0;

  drag_end drag_start_;  // index -1: no drag
  drag_end drag_current_;
  bool drag_ctrl_ = false;
  bool drag_right_button_ = false;

  std::wstring search_text_;
  DWORD last_char_time_ = 0;  // 0: none

  wheel_accumulator wheel_vertical_;
  wheel_accumulator wheel_horizontal_;

  POINT last_pan_ = {};
  HWND tooltip_ = nullptr;
  RECT label_rect_ = {};  // screen coordinates; empty: no label
  std::wstring label_text_;
};
