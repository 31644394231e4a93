// The vertical volume slider, window class "Zorv:VolumeSlider": a wedge
// that is wide at the top (loud) with a thumb on it. It answers the trackbar
// messages TBM_GETPOS, TBM_SETPOS and TBM_SETRANGE, and while the user drags
// it or moves it with the keys it posts WM_VSCROLL (SB_THUMBTRACK, position)
// to its parent.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/framework/gdiplus_session.h"
#include "ui/framework/window_object.h"

inline constexpr wchar_t volume_slider_class_name[] = L"Zorv:VolumeSlider";

// Registers the class once per process, so that dialog templates can name
// it. A refused registration throws exception_win32.
void register_volume_slider_class();

class volume_slider final : public window_object {
public:
  // The fraction of the usable height at a client y; -1 when the slider is
  // too short to have one.
  static double fraction_at(int client_height, int margin, int y) noexcept;

private:
  friend LRESULT CALLBACK volume_slider_class_procedure(HWND, UINT, WPARAM, LPARAM);
  volume_slider() = default;

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override { delete this; }

  void track(POINT point);
  void end_tracking(POINT point);
  void move_by_key(UINT key);
  void set_position_and_notify(std::uint32_t position);
  std::uint32_t position_at(POINT point) const;
  void paint();

  gdiplus_session gdiplus_;
  bool dragging_ = false;
  std::uint32_t position_ = 0;
  std::uint32_t range_min_ = 0;
  std::uint32_t range_max_ = 100;
};
