// Keeps the controls of a resizable dialog in place by anchors: each listed
// control follows the change of the client width and height with four
// factors, one per edge. A top-level dialog also gets a size grip and
// minimum and maximum tracking sizes given in dialog units.
//
// A part of its dialog: the dialog offers it every message first.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// How much of the change of the client width (left, right) and height (top,
// bottom) each edge of a control follows.
struct dialog_anchor {
  std::uint32_t control_id;
  float left;
  float top;
  float right;
  float bottom;
};

class dialog_resizer {
public:
  // Packed form, one value per control: the control id in the low 16 bits;
  // in the high 16 bits 1 moves horizontally, else 2 stretches
  // horizontally; 4 moves vertically, else 8 stretches vertically.
  enum : std::uint32_t { move_x = 1, stretch_x = 2, move_y = 4, stretch_y = 8 };
  static constexpr std::uint32_t packed(std::uint32_t control_id, std::uint32_t flags) noexcept {
    return (control_id & 0xFFFF) | (flags << 16);
  }

  void set_anchors(const dialog_anchor* anchors, std::size_t count);
  void set_packed_anchors(const std::uint32_t* anchors, std::size_t count);

  // Set by the owner before the window exists; 0 in either value: no limit.
  // A dialog that the system made smaller than the minimum at its creation
  // (larger than the screen) is laid out as if it had the minimum size.
  SIZE minimum_size_dialog_units = {};
  SIZE maximum_size_dialog_units = {};

  // WM_INITDIALOG captures the layout, WM_SIZE applies it and WM_DESTROY
  // lets go of the window; the dialog goes on to handle all three.
  // WM_GETMINMAXINFO is filled and consumed (answers true, result 0).
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

  HWND size_grip() const noexcept { return grip_; }

  // For a window that the system made smaller than its template (larger
  // than the screen): the controls stand as laid out for `laid_out`, the
  // client size of the template; they are placed anew for the client size
  // the window has.
  void adopt_layout_size(SIZE laid_out);

private:
  struct captured_control {
    std::uint32_t control_id;
    RECT rectangle;
  };

  void capture(HWND window);
  void apply(int width, int height);
  void place_grip(HDWP batch, const RECT& client);
  void fill_tracking_sizes(MINMAXINFO& info) const;

  std::vector<dialog_anchor> anchors_;
  std::vector<captured_control> captured_;
  RECT captured_client_ = {};
  HWND window_ = nullptr;
  HWND grip_ = nullptr;
};
