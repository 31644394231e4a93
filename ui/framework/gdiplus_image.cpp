#include "ui/framework/gdiplus_image.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include <utility>

#include "core/app_state.h"
#include "foundation/com_ptr.h"
#include "foundation/exceptions.h"
#include "foundation/resource_data.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

namespace {

HMODULE program_module() {
  const HINSTANCE instance = app::state().instance_handle;
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

// Runs `change` on every pixel of the bitmap as 32-bit ARGB, in place.
template <class Change>
void change_pixels(Gdiplus::GpBitmap* bitmap, Change change) {
  UINT width = 0, height = 0;
  gdiplus_check(GdipGetImageWidth(bitmap, &width));
  gdiplus_check(GdipGetImageHeight(bitmap, &height));
  const Gdiplus::GpRect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data = {};
  gdiplus_check(GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite,
                                   PixelFormat32bppARGB, &data));
  for (UINT y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(data.Scan0) + static_cast<INT_PTR>(y) * data.Stride);
    for (UINT x = 0; x < width; ++x) row[x] = change(row[x]);
  }
  gdiplus_check(GdipBitmapUnlockBits(bitmap, &data));
}

}  // namespace

gdiplus_graphics_holder::~gdiplus_graphics_holder() {
  if (graphics != nullptr) GdipDeleteGraphics(graphics);
}

gdiplus_image::gdiplus_image(gdiplus_image&& other) noexcept
    : image_(std::exchange(other.image_, nullptr)), status_(other.status_) {}

gdiplus_image& gdiplus_image::operator=(gdiplus_image&& other) noexcept {
  if (this != &other) {
    reset();
    image_ = std::exchange(other.image_, nullptr);
    status_ = other.status_;
  }
  return *this;
}

void gdiplus_image::reset() noexcept {
  if (image_ != nullptr) GdipDisposeImage(std::exchange(image_, nullptr));
}

SIZE gdiplus_image::size() const {
  UINT width = 0, height = 0;
  if (image_ != nullptr) {
    gdiplus_check(GdipGetImageWidth(image_, &width));
    gdiplus_check(GdipGetImageHeight(image_, &height));
  }
  return {static_cast<LONG>(width), static_cast<LONG>(height)};
}

gdiplus_image load_image_from_stream(IStream* stream) {
  Gdiplus::GpImage* image = nullptr;
  const int status = GdipLoadImageFromStream(stream, &image);
  if (status != Gdiplus::Ok && image != nullptr) {
    GdipDisposeImage(image);
    image = nullptr;
  }
  return gdiplus_image(image, status);
}

gdiplus_image load_resource_png(int resource_id) {
  const auto data = load_resource_data(program_module(), MAKEINTRESOURCEA(resource_id), "PNG");
  if (data == nullptr) qiv::throw_bug_check();
  qiv::com_ptr<IStream> stream;
  *stream.receive() = SHCreateMemStream(static_cast<const BYTE*>(data->data()), static_cast<UINT>(data->size()));
  if (!stream) qiv::throw_bad_alloc();
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdiplus_check(GdipCreateBitmapFromStream(stream.get(), &bitmap));
  return gdiplus_image(bitmap);
}

gdiplus_image scale_resource_png(int resource_id, int width, int height) {
  const gdiplus_image source = load_resource_png(resource_id);
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdiplus_check(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap));
  gdiplus_image scaled(bitmap);
  gdiplus_graphics_holder graphics;
  gdiplus_check(GdipGetImageGraphicsContext(bitmap, &graphics.graphics));
  gdiplus_check(GdipSetInterpolationMode(graphics.graphics, Gdiplus::InterpolationModeHighQualityBicubic));
  gdiplus_check(GdipSetPixelOffsetMode(graphics.graphics, Gdiplus::PixelOffsetModeHighQuality));
  gdiplus_check(GdipDrawImageRectI(graphics.graphics, source.get(), 0, 0, width, height));
  return scaled;
}

void fade_to_third(Gdiplus::GpBitmap* bitmap) {
  change_pixels(bitmap, [](std::uint32_t argb) {
    const std::uint32_t alpha = (argb >> 24) / 3;
    return (alpha << 24) | (argb & 0x00FFFFFFu);
  });
}

void invert_to_grey(Gdiplus::GpBitmap* bitmap) {
  change_pixels(bitmap, [](std::uint32_t argb) {
    const std::uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    const std::uint32_t grey = 255 - (r + g + b) / 3;
    return (argb & 0xFF000000u) | (grey << 16) | (grey << 8) | grey;
  });
}
