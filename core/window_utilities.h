// Small window routines shared by the dialogs and windows of the user
// interface and the properties dialog.
#pragma once

#include <windows.h>

// Replaces the window's extended style. When `extra_swp_flags` is not 0 the
// window is also told to recompute its frame (typically SWP_FRAMECHANGED),
// since a frame style alone does not redraw it. Answers 1.
int set_window_ex_style(HWND window, LONG ex_style, UINT extra_swp_flags);

// Gives an opening dialog or popup the modal-dialog frame. A window that
// already has it is left alone: the frame change would cost a redraw for
// nothing.
void add_modal_dialog_frame(HWND window);

// Inserts a text tab at `index`; answers the new tab's index, or -1 when the
// tab control refuses it.
int tab_insert_item(HWND tab_control, int index, const wchar_t* text);

// The BeginPaint/EndPaint pair of one WM_PAINT handling. It ends also when
// the handling leaves by an exception: EndPaint releases the display context
// and shows the caret again, both of which BeginPaint took.
class paint_scope {
public:
  explicit paint_scope(HWND window) noexcept;
  ~paint_scope() { end(); }
  paint_scope(const paint_scope&) = delete;
  paint_scope& operator=(const paint_scope&) = delete;

  // Ends painting once; later calls do nothing, since a second EndPaint
  // would show the caret once more than BeginPaint hid it.
  void end() noexcept;

  // Null once ended.
  HDC dc() const noexcept { return dc_; }
  const PAINTSTRUCT& paint_struct() const noexcept { return paint_; }

private:
  HDC dc_ = nullptr;
  HWND window_;
  PAINTSTRUCT paint_ = {};
};

// A memory device context (from CreateCompatibleDC), deleted with its holder.
class memory_dc {
public:
  memory_dc() noexcept = default;
  explicit memory_dc(HDC dc) noexcept : dc_(dc) {}
  ~memory_dc() { reset(); }
  memory_dc(const memory_dc&) = delete;
  memory_dc& operator=(const memory_dc&) = delete;

  // Empties the holder before deleting the context, so that nothing can
  // reach a deleted context through it.
  void reset() noexcept;

  HDC get() const noexcept { return dc_; }

private:
  HDC dc_ = nullptr;
};
