#include "ui/controls/volume_popup.h"

#include <commctrl.h>

#include <algorithm>

#include "foundation/win32_error.h"
#include "playback/playback_front.h"
#include "resources/volume_popup_dialog.h"
#include "ui/controls/theme.h"
#include "ui/controls/volume_scale.h"
#include "ui/controls/volume_slider.h"

namespace {

HWND the_open_slider = nullptr;

// Text and background of the popup's theme; false for the classic theme,
// which keeps the system's.
bool popup_colours(COLORREF& text, COLORREF& background) {
  const GUID theme = current_theme();
  if (theme == theme_ids::classic) return false;
  if (theme == theme_ids::black) {
    text = 0xFFFFFF, background = 0x000000;
  } else if (theme == theme_ids::white) {
    text = 0x000000, background = 0xFFFFFF;
  } else if (theme == theme_ids::graphite) {
    text = 0x000000, background = 0xA0A0A0;
  } else {
    text = GetSysColor(COLOR_WINDOWTEXT), background = GetSysColor(COLOR_WINDOW);
  }
  return true;
}

}  // namespace

HWND volume_popup::open_slider() noexcept { return the_open_slider; }

volume_popup::~volume_popup() {
  playback_listener_registry::remove(this);
  if (handle() != nullptr) DestroyWindow(handle());
  if (the_open_slider == slider_) the_open_slider = nullptr;
}

void volume_popup::run(HWND parent, POINT anchor) {
  register_volume_slider_class();
  volume_popup popup(anchor);
  playback_listener_registry::add(&popup, 0, false);
  popup.create_modeless(IDD_VOLUME_POPUP, parent);
  popup.run_loop();
}

void volume_popup::run_loop() {
  while (!closing_) {
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) throw exception_win32(GetLastError());  // the destructor destroys the popup
    if (got == 0) {
      // The caller's loop must still see the request to end the program.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (message.message == WM_MOUSEWHEEL) {
      on_wheel(message);
      continue;
    }
    if (handle() != nullptr && IsDialogMessageW(handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// One notch (120) moves 10 positions; away from the user is louder.
void volume_popup::on_wheel(const MSG& message) {
  const int delta = static_cast<short>(HIWORD(message.wParam));
  const int step = MulDiv(-delta, 100, 1200);
  if (slider_ == nullptr) return;
  const auto current = static_cast<int>(SendMessageW(slider_, TBM_GETPOS, 0, 0));
  const int position = std::clamp(current + step, 0, 100);
  SendMessageW(slider_, TBM_SETPOS, TRUE, position);
  set_volume_from_slider();
}

void volume_popup::set_volume_from_slider() {
  const auto position = static_cast<std::uint32_t>(SendMessageW(slider_, TBM_GETPOS, 0, 0));
  // The listener would otherwise move the thumb to the rounded-trip
  // position of the volume it is setting.
  updating_ = true;
  try {
    playback_front_get().set_volume(volume_scale::decibels_of_position(position));
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void volume_popup::on_volume_change(float decibels) {
  if (updating_ || slider_ == nullptr) return;
  SendMessageW(slider_, TBM_SETPOS, TRUE, volume_scale::position_of_decibels(decibels));
}

void volume_popup::on_initialise() {
  slider_ = GetDlgItem(handle(), IDC_VOLUME_SLIDER);
  the_open_slider = slider_;
  SendMessageW(slider_, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
  // Now for the volume only, with the current volume at once, so that the
  // slider starts where the volume is.
  playback_listener_registry::remove(this);
  playback_listener_registry::add(this, playback_listener::mask_volume_change, true);
  RECT window = {};
  GetWindowRect(handle(), &window);
  SetWindowPos(handle(), nullptr, anchor_.x - (window.right - window.left) / 2, anchor_.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

bool volume_popup::on_colour(HDC dc, LRESULT& result) {
  COLORREF text = 0, background = 0;
  if (!popup_colours(text, background)) return false;
  if (brush_.get() == nullptr || brush_colour_ != background) {
    brush_.reset(CreateSolidBrush(background));
    brush_colour_ = background;
  }
  SetTextColor(dc, text);
  SetBkColor(dc, background);
  result = reinterpret_cast<LRESULT>(brush_.get());
  return true;
}

bool volume_popup::process_message(HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) {
  switch (message) {
    case WM_INITDIALOG:
      on_initialise();
      result = TRUE;
      return true;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return on_colour(reinterpret_cast<HDC>(wparam), result);
    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lparam) != slider_ || slider_ == nullptr) return false;
      set_volume_from_slider();
      return true;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) closing_ = true;
      return false;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) return false;
      closing_ = true;
      return true;
    case WM_DESTROY:
      // Destroyed from outside (its owner closed): the loop must end too.
      closing_ = true;
      if (the_open_slider == slider_) the_open_slider = nullptr;
      slider_ = nullptr;
      return false;
    default:
      return false;
  }
}
