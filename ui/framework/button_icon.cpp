#include "ui/framework/button_icon.h"

#include <gdiplus.h>

#include <algorithm>

#include "ui/framework/gdiplus_image.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

void icon_slot::reset(HICON icon) noexcept {
  if (icon_ != nullptr && icon_ != icon) DestroyIcon(icon_);
  icon_ = icon;
}

SIZE button_icon_size(HWND button) noexcept {
  RECT client = {};
  GetClientRect(button, &client);
  const int smaller = std::min(client.right - client.left, client.bottom - client.top);
  // Truncated: a 14-pixel side gives 10, not the 11 that MulDiv rounds to.
  const int side = std::max(smaller * 3 / 4, 8);
  return {side, side};
}

HICON icon_from_png_resource(int resource_id, int width, int height) {
  const gdiplus_image scaled = scale_resource_png(resource_id, width, height);
  HICON icon = nullptr;
  gdiplus_check(GdipCreateHICONFromBitmap(scaled.bitmap(), &icon));
  return icon;
}

void set_button_png_icon(HWND button, int resource_id, icon_slot& slot) {
  if (slot.get() == nullptr) {
    const SIZE size = button_icon_size(button);
    slot.reset(icon_from_png_resource(resource_id, size.cx, size.cy));
  }
  SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(slot.get()));
}
