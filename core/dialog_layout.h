// The layout state of a resizable dialog and the memory of a window's
// placement. The user interface replaces both with its own: for now the
// layout records its window and size and moves no control, and the
// placement keeper restores nothing.
#pragma once

#include <windows.h>

struct dialog_layout {
  // Set by the message step when it consumed a message (32-bit, like the
  // BOOL that dialog procedures answer).
  BOOL handled = FALSE;
  HWND dialog = nullptr;
  HWND size_grip = nullptr;
  // The client size the controls were last laid out for.
  SIZE client_size = {};
  // The smallest window the user may drag the dialog to; zero: no limit.
  POINT minimum_track_size = {};

  void init(HWND window) {
    dialog = window;
    RECT client = {};
    GetClientRect(window, &client);
    client_size = {client.right - client.left, client.bottom - client.top};
  }

  void apply(int width, int height) { client_size = {width, height}; }

  void limit_track_size(MINMAXINFO& info) const {
    if (minimum_track_size.x > 0) info.ptMinTrackSize.x = minimum_track_size.x;
    if (minimum_track_size.y > 0) info.ptMinTrackSize.y = minimum_track_size.y;
  }
};

struct window_placement_keeper {
  BOOL handled = FALSE;
  HWND window = nullptr;

  // Attaches the window when it is created; consumes no message.
  bool on_message(HWND message_window, UINT message, LPARAM, LRESULT&) {
    if (message == WM_CREATE || message == WM_INITDIALOG) window = message_window;
    return false;
  }
};
