// Dialogs the user moves and resizes (the preferences and properties dialogs
// and the properties' sub-dialogs) reopen where they were left: the keeper
// restores the stored placement when the dialog is created and stores it
// again when the dialog ends.
#pragma once

#include <windows.h>

#include "core/config_item_kinds.h"

// Puts a stored placement onto a new window: rescaled to the current screen
// DPI (the record then holds that DPI), the stored size when the window has
// a sizing border, the stored offset from the owner (centred on the owner
// when unset), moved off any other window of this thread that sits exactly
// there, and kept inside the nearest monitor's work area.
void restore_window_position(HWND window, window_position& record);

class window_placement_keeper {
public:
  explicit window_placement_keeper(config_window_position& item) noexcept : item_(item) {}
  // Stores the placement of a window still attached.
  ~window_placement_keeper();
  window_placement_keeper(const window_placement_keeper&) = delete;
  window_placement_keeper& operator=(const window_placement_keeper&) = delete;

  // Run first in the dialog's procedure; never consumes the message.
  // WM_CREATE and WM_INITDIALOG attach the window and restore the placement
  // (taken from another open window of this kind when there is one);
  // WM_DESTROY of the attached window stores it and detaches.
  void on_message(HWND window, UINT message) noexcept;
  // Stores the attached window's placement and detaches it.
  void save_current() noexcept;

  HWND attached_window() const noexcept { return window_; }

private:
  config_window_position& item_;
  HWND window_ = nullptr;
};
