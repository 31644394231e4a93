#include "ui/controls/volume_slider.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <vsstyle.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "core/app_state.h"
#include "foundation/win32_error.h"
#include "ui/controls/theme.h"
#include "ui/framework/double_buffer.h"
#include "ui/framework/drawing.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/program_instance.h"
#include "ui/framework/window_exception_boundary.h"
#include "ui/framework/window_utilities.h"

using namespace Gdiplus::DllExports;

namespace {

COLORREF wedge_colour() {
  const GUID theme = current_theme();
  if (theme == theme_ids::black) return 0xFFFFFF;
  if (theme == theme_ids::white || theme == theme_ids::graphite) return 0x000000;
  return GetSysColor(COLOR_WINDOWTEXT);
}

struct pen_holder {
  Gdiplus::GpPen* pen = nullptr;
  ~pen_holder() { delete_pen(pen); }
};

void draw_wedge(HDC dc, const RECT& wedge) {
  gdiplus_graphics_holder graphics;
  gdiplus_check(GdipCreateFromHDC(dc, &graphics.graphics));
  gdiplus_check(GdipSetSmoothingMode(graphics.graphics, Gdiplus::SmoothingModeHighQuality));
  const COLORREF colour = wedge_colour();
  const Gdiplus::ARGB argb = 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  pen_holder pen;
  gdiplus_check(GdipCreatePen1(argb, 1.0f, Gdiplus::UnitPixel, &pen.pen));
  const int left = wedge.left, top = wedge.top, right = wedge.right, bottom = wedge.bottom;
  gdiplus_check(GdipDrawLineI(graphics.graphics, pen.pen, left, bottom, left + 1, bottom));
  gdiplus_check(GdipDrawLineI(graphics.graphics, pen.pen, left, bottom, left, top));
  gdiplus_check(GdipDrawLineI(graphics.graphics, pen.pen, left, top, right, top));
  gdiplus_check(GdipDrawLineI(graphics.graphics, pen.pen, right, top, left + 1, bottom));
}

}  // namespace

// Windows of the class come from dialog templates, which know nothing of
// objects: the object is made on the window's first message and takes the
// window over from there.
LRESULT CALLBACK volume_slider_class_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_NCCREATE) return DefWindowProcW(window, message, wparam, lparam);
  return guard_window_callback<LRESULT>("volume slider creation", FALSE, [&]() -> LRESULT {
    auto* slider = new volume_slider();
    if (!slider->subclass(window)) {
      delete slider;
      return FALSE;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

void register_volume_slider_class() {
  static const ATOM atom = [] {
    WNDCLASSEXW description = {};
    description.cbSize = sizeof(description);
    description.style = CS_HREDRAW | CS_VREDRAW;
    description.lpfnWndProc = volume_slider_class_procedure;
    description.hInstance = program_instance();
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.lpszClassName = volume_slider_class_name;
    SetLastError(0);
    const ATOM registered = RegisterClassExW(&description);
    if (registered == 0) throw exception_win32(GetLastError());
    return registered;
  }();
  (void)atom;
}

double volume_slider::fraction_at(int client_height, int margin, int y) noexcept {
  const int usable = client_height - 2 * margin;
  if (usable < 1) return -1.0;
  return std::clamp(static_cast<double>(y - margin) / usable, 0.0, 1.0);
}

std::uint32_t volume_slider::position_at(POINT point) const {
  RECT client = {};
  GetClientRect(handle(), &client);
  const int margin = client.right / 3;
  const double fraction = fraction_at(client.bottom, margin, point.y);
  if (fraction < 0.0 || range_max_ <= range_min_) return range_min_;
  const double span = static_cast<double>(range_max_ - range_min_);
  const auto position = range_min_ + static_cast<std::uint32_t>(std::floor(span * fraction + 0.5));
  return std::clamp(position, range_min_, range_max_);
}

void volume_slider::set_position_and_notify(std::uint32_t position) {
  if (position == position_) return;
  position_ = position;
  PostMessageW(GetParent(handle()), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, position_),
               reinterpret_cast<LPARAM>(handle()));
  InvalidateRect(handle(), nullptr, FALSE);
}

void volume_slider::track(POINT point) {
  if (!dragging_) {
    dragging_ = true;
    InvalidateRect(handle(), nullptr, FALSE);
    SetCapture(handle());
  }
  set_position_and_notify(position_at(point));
}

void volume_slider::end_tracking(POINT point) {
  if (dragging_) track(point);
  dragging_ = false;
  if (GetCapture() == handle()) ReleaseCapture();
  InvalidateRect(handle(), nullptr, FALSE);
}

// Up is louder, as on the screen.
void volume_slider::move_by_key(UINT key) {
  const std::int64_t position = position_;
  std::int64_t target = position;
  switch (key) {
    case VK_UP: case VK_LEFT: target = position - 1; break;
    case VK_DOWN: case VK_RIGHT: target = position + 1; break;
    case VK_PRIOR: target = position - 10; break;
    case VK_NEXT: target = position + 10; break;
    case VK_HOME: target = range_min_; break;
    case VK_END: target = range_max_; break;
    default: return;
  }
  if (range_max_ <= range_min_) return;
  target = std::clamp<std::int64_t>(target, range_min_, range_max_);
  set_position_and_notify(static_cast<std::uint32_t>(target));
}

void volume_slider::paint() {
  paint_scope painting(handle());
  if (painting.dc() == nullptr) return;
  RECT client = {};
  GetClientRect(handle(), &client);
  double_buffer buffer;
  HDC dc = buffer.begin(painting.dc(), client);
  if (dc == nullptr) dc = painting.dc();
  paint_parent_background(handle(), dc);

  const int width = client.right, height = client.bottom;
  if (height - 2 * (width / 4) <= 0) return;
  const RECT wedge = {width / 4, width / 3, width - width / 4, height - width / 3};
  draw_wedge(dc, wedge);

  if (range_min_ >= range_max_) return;
  const double fraction =
      std::min(1.0, static_cast<double>(static_cast<std::int64_t>(position_) - range_min_) / (range_max_ - range_min_));
  const int margin = width / 3;
  const int usable = height - 2 * margin;
  const int centre = margin + static_cast<int>(std::floor(fraction * usable + 0.5));
  const RECT thumb = {width / 8, centre - width / 4, width - width / 8, centre + width / 4};
  const int state = !IsWindowEnabled(handle()) ? TUS_DISABLED : dragging_ ? TUS_PRESSED : TUS_NORMAL;
  const UINT classic = state == TUS_DISABLED ? DFCS_INACTIVE : state == TUS_PRESSED ? DFCS_PUSHED : 0;
  draw_theme_part(handle(), dc, L"Trackbar", TKP_THUMB, state, thumb, classic);
}

bool volume_slider::process_message(HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) {
  const POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  switch (message) {
    case TBM_GETPOS:
      result = position_;
      return true;
    case TBM_SETPOS:
      position_ = static_cast<std::uint32_t>(lparam);
      if (wparam != 0) InvalidateRect(handle(), nullptr, FALSE);
      return true;
    case TBM_SETRANGE:
      range_min_ = LOWORD(lparam);
      range_max_ = HIWORD(lparam);
      if (wparam != 0) InvalidateRect(handle(), nullptr, FALSE);
      return true;
    case WM_LBUTTONDOWN:
      SetFocus(handle());
      track(point);
      return true;
    case WM_MOUSEMOVE:
      if (dragging_) track(point);
      return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
      end_tracking(point);
      return true;
    // Another window took the mouse: the drag is over where it was.
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != handle() && dragging_) {
        dragging_ = false;
        InvalidateRect(handle(), nullptr, FALSE);
      }
      return true;
    case WM_GETDLGCODE:
      result = DLGC_WANTARROWS;
      return true;
    case WM_KEYDOWN:
      move_by_key(static_cast<UINT>(wparam));
      return true;
    case WM_ERASEBKGND:
      result = 1;  // painted with everything else, double-buffered
      return true;
    case WM_PAINT:
      paint();
      return true;
    default:
      return false;
  }
}
