// What the user sees of a window: the pixels it hands to the display, saved
// as a BMP beside the test run for a person to look at, and readable pixel by
// pixel for the test itself. They are read from the window's own surface (its
// frame and its children included), not from the screen, so a window of a
// test running beside this one cannot cover them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace test_support {

class screen_capture {
public:
  // The window's whole window rectangle, after letting it paint.
  explicit screen_capture(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    GdiFlush();
    // Wine draws into a window surface and hands it to the X server from its
    // message processing: pump for a moment so the screen shows it.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    GetWindowRect(window, &area_);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    client_offset_ = {origin.x - area_.left, origin.y - area_.top};
    width_ = area_.right - area_.left;
    height_ = area_.bottom - area_.top;
    pixels_.assign(static_cast<std::size_t>(width_) * height_, 0);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC surface = GetDCEx(window, nullptr, DCX_WINDOW | DCX_CACHE);
    const HDC memory = CreateCompatibleDC(surface);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(surface, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, surface, 0, 0, SRCCOPY);
    GdiFlush();
    std::memcpy(pixels_.data(), bits, pixels_.size() * 4);
    // The screen has no alpha; opaque, so viewers of the saved file show it.
    for (std::uint32_t& pixel : pixels_) pixel |= 0xFF000000u;
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, surface);
  }

  // A pixel at client coordinates, as a COLORREF (red in the low byte).
  COLORREF client_pixel(int x, int y) const {
    x += client_offset_.x;
    y += client_offset_.y;
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const std::uint32_t bgr = pixels_[static_cast<std::size_t>(y) * width_ + x];
    return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
  }

  // Writes "<name>.bmp" into the folder "screenshots" of the current folder
  // (the test's build folder) and answers its path.
  std::string save(const std::string& name) const {
    CreateDirectoryW(L"screenshots", nullptr);
    const std::string path = "screenshots\\" + name + ".bmp";
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width_;
    header.biHeight = -height_;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    const DWORD data_size = static_cast<DWORD>(pixels_.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + data_size;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(pixels_.data()), data_size);
    return path;
  }

private:
  RECT area_ = {};
  POINT client_offset_ = {};
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace test_support
