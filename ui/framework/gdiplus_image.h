// GDI+ images of the user interface: decoding from streams and from the PNG
// images in the program's resources, scaling, and the recolouring of icons
// for dark themes and disabled buttons. Needs a gdiplus_session.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <cstdint>

namespace Gdiplus {
class GpImage;
class GpBitmap;
class GpGraphics;
}  // namespace Gdiplus

// Owns one GDI+ graphics (from a context or an image).
struct gdiplus_graphics_holder {
  Gdiplus::GpGraphics* graphics = nullptr;
  gdiplus_graphics_holder() noexcept = default;
  gdiplus_graphics_holder(const gdiplus_graphics_holder&) = delete;
  gdiplus_graphics_holder& operator=(const gdiplus_graphics_holder&) = delete;
  ~gdiplus_graphics_holder();
};

// Owns one GDI+ image (a bitmap or another kind) and keeps the status of
// the call that made it.
class gdiplus_image {
public:
  gdiplus_image() noexcept = default;
  explicit gdiplus_image(Gdiplus::GpImage* image, int status = 0) noexcept : image_(image), status_(status) {}
  gdiplus_image(gdiplus_image&& other) noexcept;
  gdiplus_image& operator=(gdiplus_image&& other) noexcept;
  gdiplus_image(const gdiplus_image&) = delete;
  gdiplus_image& operator=(const gdiplus_image&) = delete;
  ~gdiplus_image() { reset(); }

  void reset() noexcept;
  Gdiplus::GpImage* get() const noexcept { return image_; }
  // Only for images made as bitmaps.
  Gdiplus::GpBitmap* bitmap() const noexcept { return reinterpret_cast<Gdiplus::GpBitmap*>(image_); }
  int status() const noexcept { return status_; }
  explicit operator bool() const noexcept { return image_ != nullptr; }
  SIZE size() const;

private:
  Gdiplus::GpImage* image_ = nullptr;
  int status_ = 0;
};

// Decodes the stream; a failure leaves the image empty with its status.
gdiplus_image load_image_from_stream(IStream* stream);
// The program's PNG resource decoded; a missing resource throws
// qiv::exception_bug_check, a failing decode exception_gdiplus.
gdiplus_image load_resource_png(int resource_id);
// The resource drawn stretched into a new 32-bit ARGB bitmap of the size,
// with high-quality interpolation.
gdiplus_image scale_resource_png(int resource_id, int width, int height);

// Every pixel's alpha becomes a third (rounded down); colours stay. The
// disabled look of an icon.
void fade_to_third(Gdiplus::GpBitmap* bitmap);
// Every pixel's colour becomes 255 minus the mean of its channels (rounded
// down); alpha stays. Dark glyphs become light grey ones for dark themes.
void invert_to_grey(Gdiplus::GpBitmap* bitmap);
