#include "ui/main/list_icon_cache.h"

#include <gdiplus.h>

#include "resources/main_window_dialog.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

void list_icon_cache::destroy() noexcept {
  for (HICON& icon : icons_) {
    if (icon != nullptr && DestroyIcon(icon)) icon = nullptr;
  }
}

void list_icon_cache::update(bool inverted_grey, int width, int height) {
  const bool unchanged = inverted_grey == inverted_grey_ && width == width_ && height == height_;
  if (unchanged && (icons_[0] != nullptr || width <= 0 || height <= 0)) return;
  destroy();
  // Remembered first: a size that cannot be drawn is not tried again.
  inverted_grey_ = inverted_grey;
  width_ = width;
  height_ = height;
  if (width <= 0 || height <= 0) return;
  static constexpr int images[] = {IDP_LIST_TRACK, IDP_LIST_CONTAINER, IDP_LIST_PLAYING, IDP_LIST_PAUSED};
  try {
    for (std::size_t i = 0; i < icons_.size(); ++i) {
      const gdiplus_image scaled = scale_resource_png(images[i], width, height);
      if (inverted_grey) invert_to_grey(scaled.bitmap());
      gdiplus_check(GdipCreateHICONFromBitmap(scaled.bitmap(), &icons_[i]));
    }
  } catch (...) {
    destroy();
    width_ = height_ = 0;
    throw;
  }
}
