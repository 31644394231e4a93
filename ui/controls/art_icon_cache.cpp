#include "ui/controls/art_icon_cache.h"

#include <gdiplus.h>

#include "ui/framework/gdiplus_image.h"
#include "ui/framework/gdiplus_session.h"

namespace {

// The PNG resources of previous, next, play and pause.
constexpr int glyph_resources[art_icon_cache::icon_count] = {108, 103, 107, 106};

}  // namespace

void art_icon_cache::update(bool inverted_grey, int width, int height) {
  if (inverted_grey == inverted_grey_ && width == width_ && height == height_) return;
  destroy();
  if (width > 0 && height > 0) {
    for (int i = 0; i < icon_count; ++i) {
      gdiplus_image image = scale_resource_png(glyph_resources[i], width, height);
      if (inverted_grey) invert_to_grey(image.bitmap());
      HICON made = nullptr;
      gdiplus_check(Gdiplus::DllExports::GdipCreateHICONFromBitmap(image.bitmap(), &made));
      icons_[i] = made;
    }
  }
  // Kept only after success, so that a failed update is tried again.
  inverted_grey_ = inverted_grey;
  width_ = width;
  height_ = height;
}

void art_icon_cache::destroy() noexcept {
  for (HICON& icon : icons_)
    if (icon != nullptr && DestroyIcon(icon)) icon = nullptr;
}
