// The four icons of the main window's list (track, container, playing,
// paused), made from the program's PNG images at the size the list draws
// them, in light grey for the dark themes. Needs a gdiplus_session.
#pragma once

#include <windows.h>

#include <array>

class list_icon_cache {
public:
  enum icon_kind : int { track = 0, container = 1, playing = 2, paused = 3 };

  list_icon_cache() noexcept = default;
  list_icon_cache(const list_icon_cache&) = delete;
  list_icon_cache& operator=(const list_icon_cache&) = delete;
  ~list_icon_cache() { destroy(); }

  // Makes the icons again when the look or the size differs from the last
  // call; a size that is not positive leaves the cache empty. A failing
  // GDI+ step throws exception_gdiplus and leaves the cache empty.
  void update(bool inverted_grey, int width, int height);
  // Null when the cache is empty.
  HICON get(icon_kind kind) const noexcept { return icons_[kind]; }

private:
  void destroy() noexcept;

  std::array<HICON, 4> icons_ = {};
  bool inverted_grey_ = false;
  int width_ = 0;
  int height_ = 0;
};
