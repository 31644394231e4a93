// A balloon that points at a control with a short hint ("Please select a
// valid output device."). One per page or dialog; it stays until hidden or
// replaced.
#pragma once

#include <windows.h>
#include <commctrl.h>

class balloon_tip {
public:
  balloon_tip() noexcept = default;
  balloon_tip(const balloon_tip&) = delete;
  balloon_tip& operator=(const balloon_tip&) = delete;
  ~balloon_tip();

  // Main thread. Shows the text under the control, in place of the tip shown
  // now; a null text only hides the current tip. Creating the tooltip window
  // may throw exception_win32.
  void show_balloon_tip(const char* text, HWND control);
  void hide_balloon_tip();

  // The tooltip window; null before the first tip.
  HWND tooltip_window() const noexcept { return tooltip_; }

private:
  HWND tooltip_ = nullptr;
  TTTOOLINFOW tool_ = {};
};
