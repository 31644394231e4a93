// The main window's list icons: made once per look and size, light for the
// dark themes, none for a size that cannot be drawn.
#include "ui/main/list_icon_cache.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/framework/gdiplus_session.h"

namespace {

// The mean brightness of the icon's visible pixels (0 to 255).
int mean_ink(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return -1;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.bmWidth) * bitmap.bmHeight);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = bitmap.bmWidth;
  format.bmiHeader.biHeight = -bitmap.bmHeight;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  const HDC dc = GetDC(nullptr);
  GetDIBits(dc, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  long sum = 0, count = 0;
  for (std::uint32_t p : pixels) {
    if ((p >> 24) < 128) continue;
    sum += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
    ++count;
  }
  return count == 0 ? -1 : static_cast<int>(sum / count);
}

TEST(ListIconCache, MakesFourIconsOncePerLookAndSize) {
  gdiplus_session gdiplus;
  list_icon_cache cache;
  cache.update(false, 16, 16);
  const HICON track = cache.get(list_icon_cache::track);
  ASSERT_NE(track, nullptr);
  for (auto kind : {list_icon_cache::container, list_icon_cache::playing, list_icon_cache::paused}) {
    EXPECT_NE(cache.get(kind), nullptr);
    EXPECT_NE(cache.get(kind), track);
  }
  cache.update(false, 16, 16);
  EXPECT_EQ(cache.get(list_icon_cache::track), track) << "the same look and size keep the icons";
  EXPECT_LT(mean_ink(track), 100) << "dark glyphs for the light themes";

  cache.update(true, 16, 16);
  EXPECT_GT(mean_ink(cache.get(list_icon_cache::track)), 150) << "light glyphs for the dark themes";

  cache.update(true, 0, 16);
  for (auto kind : {list_icon_cache::track, list_icon_cache::container, list_icon_cache::playing,
                    list_icon_cache::paused})
    EXPECT_EQ(cache.get(kind), nullptr) << "no icons for a size that cannot be drawn";
  cache.update(true, 24, 24);
  EXPECT_NE(cache.get(list_icon_cache::track), nullptr) << "a usable size again makes them again";
}

}  // namespace
