// The main window's button icons and button faces, drawn for the current
// theme: light grey icons and faded faces for the dark themes, icons faded
// to a third for disabled buttons. Needs a gdiplus_session.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <tuple>

#include "ui/framework/gdiplus_image.h"

// Set on a resource id to ask for the disabled (faded) look of the icon.
inline constexpr std::uint32_t button_icon_disabled = 0x80000000u;

// The program's picture (PNG resource 113) as a window icon of the size.
HICON icon_from_resource(int width, int height);

// Three quarters (MulDiv) of the client size, at least 8 pixels a side;
// with `square` both sides of the smaller one.
SIZE main_button_icon_size(HWND window, bool square);

// Icons scaled and recoloured once per resource id and size, kept for the
// cache's life. Empty it when the theme changes.
class button_icon_cache {
public:
  // The id may carry button_icon_disabled. The bitmap belongs to the cache.
  Gdiplus::GpBitmap* button_icon(std::uint32_t id, int width, int height);
  void clear() noexcept { icons_.clear(); }
  std::size_t size() const noexcept { return icons_.size(); }

private:
  std::map<std::tuple<std::uint32_t, int, int>, gdiplus_image> icons_;
};

enum button_face_state : int { face_normal = 0, face_pressed = 1, face_disabled = 2, face_hot = 3 };

// A face of the button `window` for one state: its parent's background with
// the themed push-button frame over it, faded for the dark themes.
gdiplus_image button_face(HWND window, int state, int width, int height);
