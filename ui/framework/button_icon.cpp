#include "ui/framework/button_icon.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include <algorithm>

#include "core/app_state.h"
#include "foundation/com_ptr.h"
#include "foundation/exceptions.h"
#include "foundation/resource_data.h"
#include "ui/framework/gdiplus_session.h"

namespace {

using namespace Gdiplus::DllExports;

// Owners of the GDI+ objects of one conversion.
struct image_holder {
  Gdiplus::GpBitmap* bitmap = nullptr;
  ~image_holder() {
    if (bitmap != nullptr) GdipDisposeImage(bitmap);
  }
};

struct graphics_holder {
  Gdiplus::GpGraphics* graphics = nullptr;
  ~graphics_holder() {
    if (graphics != nullptr) GdipDeleteGraphics(graphics);
  }
};

HMODULE program_module() {
  const HINSTANCE instance = app::state().instance_handle;
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

}  // namespace

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
  const auto data = load_resource_data(program_module(), MAKEINTRESOURCEA(resource_id), "PNG");
  if (data == nullptr) qiv::throw_bug_check();
  qiv::com_ptr<IStream> stream;
  *stream.receive() = SHCreateMemStream(static_cast<const BYTE*>(data->data()), static_cast<UINT>(data->size()));
  if (!stream) qiv::throw_bad_alloc();

  image_holder source;
  gdiplus_check(GdipCreateBitmapFromStream(stream.get(), &source.bitmap));
  image_holder scaled;
  gdiplus_check(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &scaled.bitmap));
  {
    graphics_holder graphics;
    gdiplus_check(GdipGetImageGraphicsContext(scaled.bitmap, &graphics.graphics));
    gdiplus_check(GdipSetInterpolationMode(graphics.graphics, Gdiplus::InterpolationModeHighQualityBicubic));
    gdiplus_check(GdipSetPixelOffsetMode(graphics.graphics, Gdiplus::PixelOffsetModeHighQuality));
    gdiplus_check(GdipDrawImageRectI(graphics.graphics, source.bitmap, 0, 0, width, height));
  }
  HICON icon = nullptr;
  gdiplus_check(GdipCreateHICONFromBitmap(scaled.bitmap, &icon));
  return icon;
}

void set_button_png_icon(HWND button, int resource_id, icon_slot& slot) {
  if (slot.get() == nullptr) {
    const SIZE size = button_icon_size(button);
    slot.reset(icon_from_png_resource(resource_id, size.cx, size.cy));
  }
  SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(slot.get()));
}
