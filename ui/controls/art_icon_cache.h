// The four small icons of the taskbar's thumbnail buttons (previous, next,
// play, pause), made from the button glyphs at the size the taskbar asks
// for, and light grey for dark themes. Made again only when the size or the
// look changes.
#pragma once

#include <windows.h>

class art_icon_cache {
public:
  enum icon : int { previous = 0, next = 1, play = 2, pause = 3 };
  static constexpr int icon_count = 4;

  art_icon_cache() noexcept = default;
  art_icon_cache(const art_icon_cache&) = delete;
  art_icon_cache& operator=(const art_icon_cache&) = delete;
  ~art_icon_cache() { destroy(); }

  // Needs a gdiplus_session. A size that is not positive leaves the cache
  // without icons; a GDI+ failure throws exception_gdiplus.
  void update(bool inverted_grey, int width, int height);
  HICON get(icon which) const noexcept { return icons_[which]; }

private:
  void destroy() noexcept;

  HICON icons_[icon_count] = {};
  bool inverted_grey_ = false;
  int width_ = 0;
  int height_ = 0;
};
