#include "ui/framework/double_buffer.h"

HDC double_buffer::begin(HDC target, const RECT& rectangle) noexcept {
  end();
  const int width = rectangle.right - rectangle.left;
  const int height = rectangle.bottom - rectangle.top;
  if (width <= 0 || height <= 0) return nullptr;
  memory_ = CreateCompatibleDC(target);
  bitmap_ = memory_ != nullptr ? CreateCompatibleBitmap(target, width, height) : nullptr;
  if (bitmap_ == nullptr) {
    if (memory_ != nullptr) DeleteDC(memory_);
    memory_ = nullptr;
    return nullptr;
  }
  target_ = target;
  rectangle_ = rectangle;
  previous_bitmap_ = SelectObject(memory_, bitmap_);
  SetViewportOrgEx(memory_, -rectangle.left, -rectangle.top, nullptr);
  return memory_;
}

void double_buffer::end() noexcept {
  if (memory_ == nullptr) return;
  SetViewportOrgEx(memory_, 0, 0, nullptr);
  BitBlt(target_, rectangle_.left, rectangle_.top, rectangle_.right - rectangle_.left,
         rectangle_.bottom - rectangle_.top, memory_, 0, 0, SRCCOPY);
  SelectObject(memory_, previous_bitmap_);
  DeleteObject(bitmap_);
  DeleteDC(memory_);
  memory_ = nullptr;
  bitmap_ = nullptr;
  target_ = nullptr;
}
