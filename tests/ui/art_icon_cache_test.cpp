// The thumbnail-button icons: made at the asked size, kept while nothing
// changes, light grey when inverted, none for an empty size.
#include "ui/controls/art_icon_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/framework/gdiplus_session.h"

namespace {

struct icon_pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
  std::uint32_t at(int x, int y) const { return argb[static_cast<std::size_t>(y) * width + x]; }
};

icon_pixels read_icon(HICON icon) {
  icon_pixels out;
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return out;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
  out.width = bitmap.bmWidth;
  out.height = bitmap.bmHeight;
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = out.width;
  format.bmiHeader.biHeight = -out.height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  out.argb.resize(static_cast<std::size_t>(out.width) * out.height);
  const HDC screen = GetDC(nullptr);
  GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(out.height), out.argb.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return out;
}

TEST(ArtIconCache, IconsFollowTheSizeAndTheLookAndAreKeptWhileNeitherChanges) {
  gdiplus_session session;
  art_icon_cache cache;
  cache.update(false, 16, 16);
  HICON made[art_icon_cache::icon_count];
  for (int i = 0; i < art_icon_cache::icon_count; ++i) {
    made[i] = cache.get(static_cast<art_icon_cache::icon>(i));
    ASSERT_NE(made[i], nullptr);
    const icon_pixels pixels = read_icon(made[i]);
    EXPECT_EQ(pixels.width, 16);
    EXPECT_EQ(pixels.height, 16);
  }
  const std::uint32_t dark = read_icon(cache.get(art_icon_cache::play)).at(7, 8) & 0xFF;
  EXPECT_LT(dark, 0x60u) << "the glyph's own dark ink";

  cache.update(false, 16, 16);
  for (int i = 0; i < art_icon_cache::icon_count; ++i)
    EXPECT_EQ(cache.get(static_cast<art_icon_cache::icon>(i)), made[i]) << "nothing changed, nothing made again";

  cache.update(true, 16, 16);
  const std::uint32_t light = read_icon(cache.get(art_icon_cache::play)).at(7, 8) & 0xFF;
  EXPECT_GT(light, 0xA0u) << "inverted to light grey for dark themes";

  cache.update(true, 0, 16);
  for (int i = 0; i < art_icon_cache::icon_count; ++i)
    EXPECT_EQ(cache.get(static_cast<art_icon_cache::icon>(i)), nullptr);
}

}  // namespace
