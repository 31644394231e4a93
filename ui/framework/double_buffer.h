// Painting into a memory bitmap and copying it to the screen in one step, so
// that a control repainted often does not flicker.
#pragma once

#include <windows.h>

class double_buffer {
public:
  double_buffer() noexcept = default;
  // Ends a buffer still begun, so that the target gets what was drawn and
  // nothing leaks when painting leaves by an exception.
  ~double_buffer() { end(); }
  double_buffer(const double_buffer&) = delete;
  double_buffer& operator=(const double_buffer&) = delete;

  // Answers the memory context to draw into, in the target's coordinates;
  // null when it cannot be made (the caller then draws to the target).
  HDC begin(HDC target, const RECT& rectangle) noexcept;
  // Copies the bitmap to the target rectangle and frees the buffer.
  void end() noexcept;

private:
  HDC target_ = nullptr;
  RECT rectangle_ = {};
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_bitmap_ = nullptr;
};
