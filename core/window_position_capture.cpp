#include "core/window_position_capture.h"

int screen_logical_dpi() noexcept {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

bool owner_window_rectangle(HWND owner, RECT& out) {
  if (IsIconic(owner)) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(owner, &placement)) return false;
    out = placement.rcNormalPosition;
    return true;
  }
  return GetWindowRect(owner, &out) != FALSE;
}

bool take_window_position(HWND window, window_position& out) {
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= client.left || client.bottom <= client.top) return false;
  POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
  SetLastError(0);
  if (MapWindowPoints(window, nullptr, corners, 2) == 0 && GetLastError() != 0) return false;
  window_position taken;
  taken.dpi_x = taken.dpi_y = screen_logical_dpi();
  taken.width = corners[1].x - corners[0].x;
  taken.height = corners[1].y - corners[0].y;
  RECT owner;
  if (HWND parent = GetParent(window); parent != nullptr && owner_window_rectangle(parent, owner)) {
    taken.x = corners[0].x - owner.left;
    taken.y = corners[0].y - owner.top;
  }
  out = taken;
  return true;
}

