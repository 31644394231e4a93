#include "ui/controls/button_images.h"

#include <gdiplus.h>
#include <uxtheme.h>
#include <vsstyle.h>

#include <algorithm>

#include "ui/controls/theme.h"
#include "ui/framework/drawing.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int program_picture = 113;

// The graphics' device context, given back however painting ends.
struct graphics_dc {
  Gdiplus::GpGraphics* graphics;
  HDC dc = nullptr;
  explicit graphics_dc(Gdiplus::GpGraphics* g) : graphics(g) { gdiplus_check(GdipGetDC(graphics, &dc)); }
  ~graphics_dc() { GdipReleaseDC(graphics, dc); }
};

}  // namespace

HICON icon_from_resource(int width, int height) {
  const gdiplus_image scaled = scale_resource_png(program_picture, width, height);
  HICON icon = nullptr;
  gdiplus_check(GdipCreateHICONFromBitmap(scaled.bitmap(), &icon));
  return icon;
}

SIZE main_button_icon_size(HWND window, bool square) {
  RECT client = {};
  GetClientRect(window, &client);
  int width = client.right - client.left, height = client.bottom - client.top;
  if (square) width = height = std::min(width, height);
  return {std::max(MulDiv(width, 3, 4), 8), std::max(MulDiv(height, 3, 4), 8)};
}

Gdiplus::GpBitmap* button_icon_cache::button_icon(std::uint32_t id, int width, int height) {
  const auto key = std::make_tuple(id, width, height);
  const auto found = icons_.find(key);
  if (found != icons_.end()) return found->second.bitmap();
  gdiplus_image icon = scale_resource_png(static_cast<int>(id & ~button_icon_disabled), width, height);
  if (theme_is_dark()) invert_to_grey(icon.bitmap());
  if ((id & button_icon_disabled) != 0) fade_to_third(icon.bitmap());
  return icons_.emplace(key, std::move(icon)).first->second.bitmap();
}

gdiplus_image button_face(HWND window, int state, int width, int height) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdiplus_check(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap));
  gdiplus_image face(bitmap);
  const bool dark = theme_is_dark();
  {
    gdiplus_graphics_holder graphics;
    gdiplus_check(GdipGetImageGraphicsContext(bitmap, &graphics.graphics));
    graphics_dc dc(graphics.graphics);
    paint_parent_background(window, dc.dc);
    static constexpr int theme_states[] = {PBS_NORMAL, PBS_PRESSED, PBS_DISABLED, PBS_HOT};
    static constexpr UINT classic_states[] = {0, DFCS_PUSHED, DFCS_INACTIVE, 0};
    const int index = std::clamp(state, 0, 3);
    const RECT area = {0, 0, width, height};
    draw_theme_part(window, dc.dc, dark ? L"BUTTON" : L"TOOLBAR", BP_PUSHBUTTON, theme_states[index], area,
                    classic_states[index]);
  }
  if (dark) fade_to_third(bitmap);
  return face;
}
