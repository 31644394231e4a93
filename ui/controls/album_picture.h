// The album picture of the shown view: an image file fitted into a panel
// over a two-part gradient of the panel's colours, rendered once per panel
// size, colour pair and border and afterwards only copied. Needs a
// gdiplus_session.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/framework/gdiplus_image.h"
#include "ui/framework/window_utilities.h"

class album_picture {
public:
  // Larger files are refused before anything is read.
  static constexpr std::uint64_t size_limit = 0x1000000;  // 16 MiB

  album_picture() noexcept = default;
  album_picture(const album_picture&) = delete;
  album_picture& operator=(const album_picture&) = delete;

  // Drops the old picture, then reads the new one. A file that cannot be
  // opened or read throws the I/O exception of its Win32 error; one that is
  // too large, cut short or not an image exception_io_data. The old picture
  // is gone either way.
  void set_file(const std::wstring& path);
  // The same for windows, which must not fail: answers whether the file
  // gave a picture; without one the panel shows only its background.
  bool show_file(const std::wstring& path) noexcept;
  void clear() noexcept;
  bool has_picture() const noexcept { return static_cast<bool>(picture_); }

  // Paints the part of `clip` that lies in `panel` with the picture, the
  // rest of `clip` with the context's background colour. The colours are
  // those selected in the context (background, text).
  void draw(HDC dc, const RECT& panel, const RECT& clip, int border);

  // Where the picture goes in an area: its aspect kept, centred on the
  // side it does not fill.
  static RECT fit(const RECT& area, SIZE picture) noexcept;

private:
  void render(HDC dc, int width, int height, int border);

  gdiplus_image picture_;
  gdi_object_holder cached_;
  SIZE cached_size_ = {};
  COLORREF cached_background_ = CLR_INVALID;
  COLORREF cached_text_ = CLR_INVALID;
  int cached_border_ = -1;
};
