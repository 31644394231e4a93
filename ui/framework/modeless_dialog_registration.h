// The part of a modeless dialog that registers it with the message loop's
// dialog registry while its window exists, so that Tab, Enter and Escape
// work in it. Placed first in the dialog's message map; it never consumes a
// message.
#pragma once

#include <windows.h>

class modeless_dialog_registration {
public:
  modeless_dialog_registration() noexcept = default;
  modeless_dialog_registration(const modeless_dialog_registration&) = delete;
  modeless_dialog_registration& operator=(const modeless_dialog_registration&) = delete;
  ~modeless_dialog_registration();

  // WM_INITDIALOG registers the new window (after unregistering one still
  // held); WM_DESTROY unregisters it. Always answers false.
  bool process_message(HWND window, UINT message);

  HWND registered_window() const noexcept { return registered_; }

private:
  void unregister() noexcept;

  HWND registered_ = nullptr;
};
