// Where the playback page points the user at its device list when the
// configured device is missing. Until the shared balloon tip is available
// the hint is only kept here, for the page and its tests to read.
#pragma once

#include <windows.h>

#include <string>

struct output_device_hint {
  std::string text;
  HWND anchor = nullptr;
};

inline void show_output_device_hint(output_device_hint& hint, const char* text, HWND anchor) {
  hint.text = text;
  hint.anchor = anchor;
}
inline void hide_output_device_hint(output_device_hint& hint) noexcept {
  hint.text.clear();
  hint.anchor = nullptr;
}
