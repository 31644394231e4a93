#include "ui/controls/theme.h"

#include <algorithm>
#include <vector>

#include "core/config_item_registrations.h"
#include "foundation/crash.h"

namespace {

constexpr COLORREF black_colours[] = {0xFFFFFF, 0xFF6060, 0x000000, 0xC00000};
constexpr COLORREF white_colours[] = {0x000000, 0xFF0000, 0xFFFFFF, 0xFF8000};
constexpr COLORREF graphite_colours[] = {0x000000, 0xC00000, 0xA0A0A0, 0xFF8000};

// Each channel half way from the highlight towards the window colour.
COLORREF classic_accent() {
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  auto channel = [&](int shift) {
    const int h = (highlight >> shift) & 0xFF;
    const int w = (window >> shift) & 0xFF;
    return static_cast<COLORREF>((h + MulDiv(w - h, 50, 100)) & 0xFF) << shift;
  };
  return channel(0) | channel(8) | channel(16);
}

template <class Listener>
class listener_list {
public:
  void add(Listener* listener) { listeners_.push_back(listener); }
  void remove(Listener* listener) noexcept {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
  }
  // Walks a copy, and skips a listener that an earlier one removed.
  template <class Call>
  void notify(Call call) {
    const std::vector<Listener*> snapshot = listeners_;
    for (Listener* listener : snapshot)
      if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) call(*listener);
  }

private:
  std::vector<Listener*> listeners_;
};

listener_list<theme_listener> theme_listener_list;
listener_list<album_pictures_listener> album_listener_list;

}  // namespace

GUID current_theme() { return config::main_window_theme.get(); }
void set_current_theme(const GUID& theme) { config::main_window_theme.set(theme); }

COLORREF theme_colour(std::uint32_t index) {
  if (index > theme_accent) qiv::crash();
  const GUID theme = current_theme();
  if (theme == theme_ids::black) return black_colours[index];
  if (theme == theme_ids::white) return white_colours[index];
  if (theme == theme_ids::graphite) return graphite_colours[index];
  switch (index) {
    case theme_text: return GetSysColor(COLOR_WINDOWTEXT);
    case theme_link: return 0xFF0000;
    case theme_background: return GetSysColor(COLOR_WINDOW);
    default: return classic_accent();
  }
}

bool theme_is_dark() {
  const GUID theme = current_theme();
  if (theme == theme_ids::black) return true;
  if (theme == theme_ids::white || theme == theme_ids::graphite) return false;
  return GetSysColor(COLOR_WINDOW) == 0;
}

bool album_pictures_shown() { return config::main_window_album_pictures.get(); }
void set_album_pictures_shown(bool shown) { config::main_window_album_pictures.set(shown); }

namespace theme_listeners {
void add(theme_listener* listener) { theme_listener_list.add(listener); }
void remove(theme_listener* listener) noexcept { theme_listener_list.remove(listener); }
void add(album_pictures_listener* listener) { album_listener_list.add(listener); }
void remove(album_pictures_listener* listener) noexcept { album_listener_list.remove(listener); }
void notify_theme_changed() {
  theme_listener_list.notify([](theme_listener& listener) { listener.on_theme_changed(); });
}
void notify_album_pictures_changed() {
  album_listener_list.notify([](album_pictures_listener& listener) { listener.on_album_pictures_changed(); });
}
}  // namespace theme_listeners
