// The colour theme of the main window and its popups, and whether the main
// window shows album pictures. Both are chosen from the View menu
// (ui/controls/theme_commands.cpp), kept in "config.dat", and announced to
// listeners, which repaint. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>

// A theme's identity is the GUID of its menu command, stored as the current
// theme.
namespace theme_ids {
inline constexpr GUID classic = {0x8321EE01, 0x0E2F, 0x4CDD, {0x99, 0x88, 0x2C, 0xFA, 0xDA, 0x2C, 0xED, 0x4C}};
inline constexpr GUID black = {0xF96DE72E, 0xA4F1, 0x41A2, {0x87, 0x86, 0x6E, 0x72, 0x22, 0x85, 0x48, 0x77}};
inline constexpr GUID white = {0x3CA390B0, 0x28DF, 0x4C27, {0xB1, 0xD1, 0x49, 0xE3, 0x6E, 0xB9, 0x8E, 0xBA}};
inline constexpr GUID graphite = {0xBE388481, 0x626B, 0x4D05, {0xAD, 0xDD, 0x99, 0x43, 0x47, 0x4D, 0x23, 0x95}};
}  // namespace theme_ids

enum theme_colour_index : std::uint32_t {
  theme_text = 0,
  theme_link = 1,  // links and highlights
  theme_background = 2,
  theme_accent = 3,
};

// The stored theme; a GUID that is none of the four reads as the classic
// theme wherever colours are chosen.
GUID current_theme();
void set_current_theme(const GUID& theme);

// The colour of the current theme; the classic theme follows the system
// colours. An index past theme_accent is a programming error and stops the
// process.
COLORREF theme_colour(std::uint32_t index);
// Whether icons and art need their light variants: the black theme, and the
// classic theme while the system's window colour is black.
bool theme_is_dark();

bool album_pictures_shown();
void set_album_pictures_shown(bool shown);

class theme_listener {
public:
  virtual void on_theme_changed() = 0;

protected:
  ~theme_listener() = default;
};

class album_pictures_listener {
public:
  virtual void on_album_pictures_changed() = 0;

protected:
  ~album_pictures_listener() = default;
};

// Registrations last until removed; a listener may remove itself, or
// another, while it is told.
namespace theme_listeners {
void add(theme_listener* listener);
void remove(theme_listener* listener) noexcept;
void add(album_pictures_listener* listener);
void remove(album_pictures_listener* listener) noexcept;
// Tells every listener, in the order they were added.
void notify_theme_changed();
void notify_album_pictures_changed();
}  // namespace theme_listeners
