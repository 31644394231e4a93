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

// Deletes one GDI object (font, brush, bitmap, pen) with its holder. The
// handle is forgotten only when DeleteObject succeeds, as a handle still
// selected into a context cannot be deleted and must not be lost.
class gdi_object_holder {
public:
  gdi_object_holder() noexcept = default;
  explicit gdi_object_holder(HGDIOBJ object) noexcept : object_(object) {}
  ~gdi_object_holder() { release(); }
  gdi_object_holder(const gdi_object_holder&) = delete;
  gdi_object_holder& operator=(const gdi_object_holder&) = delete;

  void release() noexcept;
  // Releases the held object, then holds this one.
  void reset(HGDIOBJ object) noexcept;
  HGDIOBJ get() const noexcept { return object_; }

private:
  HGDIOBJ object_ = nullptr;
};

// Selects the previous object back into a context when the scope ends.
class selected_object_holder {
public:
  // Selects `object` into `dc` and keeps what it replaced.
  selected_object_holder(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~selected_object_holder() { release(); }
  selected_object_holder(const selected_object_holder&) = delete;
  selected_object_holder& operator=(const selected_object_holder&) = delete;
  void release() noexcept;

private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Shifts a context's window origin by (x, y) and back when the scope ends.
class window_origin_holder {
public:
  window_origin_holder(HDC dc, int x, int y) noexcept;
  ~window_origin_holder() { release(); }
  window_origin_holder(const window_origin_holder&) = delete;
  window_origin_holder& operator=(const window_origin_holder&) = delete;
  void release() noexcept;

private:
  HDC dc_;
  int x_;
  int y_;
};

// A context from GetDC/GetWindowDC, given back with ReleaseDC.
class window_dc_holder {
public:
  window_dc_holder(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
  ~window_dc_holder() { release(); }
  window_dc_holder(const window_dc_holder&) = delete;
  window_dc_holder& operator=(const window_dc_holder&) = delete;
  void release() noexcept;
  HDC get() const noexcept { return dc_; }

private:
  HWND window_;
  HDC dc_;
};

// A menu, destroyed with its holder; a holder may be empty.
class menu_handle {
public:
  menu_handle() noexcept = default;
  explicit menu_handle(HMENU menu) noexcept : menu_(menu) {}
  ~menu_handle() { destroy(); }
  menu_handle(const menu_handle&) = delete;
  menu_handle& operator=(const menu_handle&) = delete;

  // Empties the holder only when DestroyMenu succeeds.
  void destroy() noexcept;
  HMENU get() const noexcept { return menu_; }
  // For a submenu that another menu now owns and destroys.
  void forget() noexcept { menu_ = nullptr; }

private:
  HMENU menu_ = nullptr;
};

// A child window with no title at the rectangle (none: the system's default
// place and size), with `id` as its control id and the program's instance.
// The handle is answered and also stored in `out`.
HWND create_child_window(HWND& out, const wchar_t* class_name, HWND parent, const RECT* rectangle, DWORD style,
                         DWORD ex_style, UINT id);

// The modifier keys held now: Alt 1, Ctrl 2, Shift 4, either Windows key 8.
enum : unsigned { modifier_alt = 1, modifier_ctrl = 2, modifier_shift = 4, modifier_win = 8 };
unsigned key_modifiers() noexcept;

constexpr int sign_of(int value) noexcept { return value > 0 ? 1 : value < 0 ? -1 : 0; }

// A copy of `font` at floor(height * factor + 0.5); a height that rounds to
// 0 keeps the sign of the source's (1 or -1), since 0 would mean "any size".
// The caller owns the new font, which is also stored in `out`.
HFONT font_with_scaled_height(HFONT& out, HFONT font, double factor);
HFONT font_with_scaled_height_and_weight(HFONT& out, HFONT font, int weight, double factor);

// Keeps a popup's left edge on a screen: x as it is when (x, y) lies on a
// monitor, else clamped into the work area of the nearest monitor.
int clamp_x_to_work_area(int x, int y) noexcept;

// SetWindowPos with a rectangle.
BOOL set_window_pos_rect(HWND window, HWND insert_after, const RECT& rectangle, UINT flags) noexcept;

// Keeps a top-level window inside the work area of its monitor: one that
// can be resized and is larger than the work area is made as large as the
// work area (at a high DPI a template may outgrow a small screen); then
// the window is moved in so that nothing of it lies beyond an edge, or, when
// it cannot be resized and is still larger, so that its top-left corner
// shows. Child windows are left alone.
void fit_into_work_area(HWND window) noexcept;
// The size of the work area of the monitor nearest the window.
SIZE work_area_size(HWND window) noexcept;

// The screen's logical pixels per inch (LOGPIXELSY), used for both axes.
int screen_dpi() noexcept;

// Marks the item with that command id as the menu's default item.
void menu_item_set_default(HMENU menu, UINT command_id) noexcept;

// A control's window rectangle in its dialog's client coordinates; false
// when the control or a step fails.
bool get_control_rect_in_parent(HWND dialog, int control_id, RECT& out) noexcept;
