// The marker that sits at the origin of a middle-button autoscroll: a small
// layered popup showing the marker icon over a colour-keyed background.
#pragma once

#include <windows.h>

#include "ui/framework/window_object.h"

class autoscroll_marker final : public window_object {
public:
  // The icon resource of the marker, drawn at 32 x 32.
  static constexpr int icon_resource = 2345;
  // The background colour that the layered window makes transparent.
  static constexpr COLORREF colour_key = 0xC0FFEE;

  autoscroll_marker() noexcept = default;
  ~autoscroll_marker() override;

  // Makes the hidden popup owned by `owner` (once) and loads the icon.
  void create(HWND owner);
  // Topmost, without activation, centred on the screen point.
  void show_at(POINT origin);
  void hide();

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

private:
  HICON icon_ = nullptr;
};
