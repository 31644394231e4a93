#include "ui/controls/album_picture.h"

#include <gdiplus.h>

#include <cmath>

#include "foundation/win32_error.h"
#include "foundation/win32_handles.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "ui/framework/drawing.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

namespace {

// Movable global memory, freed unless a stream took it over.
struct global_memory {
  HGLOBAL memory = nullptr;
  ~global_memory() {
    if (memory != nullptr) GlobalFree(memory);
  }
};

// Each channel of the text colour half way towards the background.
COLORREF midpoint(COLORREF text, COLORREF background) {
  auto channel = [&](int shift) {
    const int t = (text >> shift) & 0xFF, b = (background >> shift) & 0xFF;
    return static_cast<COLORREF>((t + MulDiv(b - t, 50, 100)) & 0xFF) << shift;
  };
  return channel(0) | channel(8) | channel(16);
}

}  // namespace

void album_picture::clear() noexcept {
  cached_.reset(nullptr);
  cached_size_ = {};
  picture_.reset();
}

void album_picture::set_file(const std::wstring& path) {
  clear();
  const win32_handle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) vantrel_io::throw_exception_io_from_win32(GetLastError());
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size)) vantrel_io::throw_exception_io_from_win32(GetLastError());
  if (static_cast<std::uint64_t>(size.QuadPart) > size_limit) throw vantrel_io::exception_io_data();
  const auto bytes = static_cast<DWORD>(size.QuadPart);

  global_memory buffer;
  buffer.memory = GlobalAlloc(GMEM_MOVEABLE, bytes != 0 ? bytes : 1);
  if (buffer.memory == nullptr) throw std::bad_alloc();
  DWORD got = 0;
  void* data = GlobalLock(buffer.memory);
  const BOOL read = ReadFile(file.get(), data, bytes, &got, nullptr);
  const DWORD error = GetLastError();
  GlobalUnlock(buffer.memory);
  if (!read) vantrel_io::throw_exception_io_from_win32(error);
  if (got < bytes) throw vantrel_io::exception_io_data();

  IStream* stream = nullptr;
  const HRESULT created = CreateStreamOnHGlobal(buffer.memory, TRUE, &stream);
  if (FAILED(created)) throw exception_com(static_cast<std::uint32_t>(created));
  buffer.memory = nullptr;  // the stream frees it
  gdiplus_image picture = load_image_from_stream(stream);
  stream->Release();
  // GDI+ answers InvalidParameter for bytes that are no image it knows.
  if (picture.status() == Gdiplus::InvalidParameter) throw vantrel_io::exception_io_data();
  gdiplus_check(picture.status());
  picture_ = std::move(picture);
}

bool album_picture::show_file(const std::wstring& path) noexcept {
  try {
    set_file(path);
    return true;
  } catch (const std::exception& error) {
    // A missing or damaged picture is common in a collection: no picture
    // and no popup, only a line for whoever debugs.
    try {
      output_debug_string_utf8(("Album picture not shown: " + std::string(error.what()) + "\n").c_str());
    } catch (...) {
    }
  } catch (...) {
    output_debug_string_utf8("Album picture not shown\n");
  }
  clear();
  return false;
}

RECT album_picture::fit(const RECT& area, SIZE picture) noexcept {
  RECT placed = area;
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0 || picture.cx <= 0 || picture.cy <= 0) return placed;
  const double area_ratio = static_cast<double>(width) / height;
  const double picture_ratio = static_cast<double>(picture.cx) / picture.cy;
  if (area_ratio > picture_ratio) {
    const int cut = static_cast<int>(std::lround(static_cast<double>(height) * picture.cx / picture.cy));
    placed.left = area.left + (width - cut) / 2;
    placed.right = placed.left + cut;
  } else if (area_ratio < picture_ratio) {
    const int cut = static_cast<int>(std::lround(static_cast<double>(width) * picture.cy / picture.cx));
    placed.top = area.top + (height - cut) / 2;
    placed.bottom = placed.top + cut;
  }
  return placed;
}

void album_picture::render(HDC dc, int width, int height, int border) {
  const COLORREF background = GetBkColor(dc), text = GetTextColor(dc);
  // Marked valid only once the picture is in it.
  cached_size_ = {};
  cached_.reset(CreateCompatibleBitmap(dc, width, height));
  memory_dc memory(CreateCompatibleDC(dc));
  if (memory.get() == nullptr || cached_.get() == nullptr) throw exception_win32(ERROR_NOT_ENOUGH_MEMORY);
  {
    selected_object_holder selected(memory.get(), cached_.get());
    const RECT whole = {0, 0, width, height};
    gradient_fill_two_band(memory.get(), whole, background, midpoint(text, background), 80);
    const RECT inner = {border, border, width - border, height - border};
    const RECT placed = fit(inner, picture_.size());
    gdiplus_graphics_holder graphics;
    gdiplus_check(GdipCreateFromHDC(memory.get(), &graphics.graphics));
    gdiplus_check(GdipSetSmoothingMode(graphics.graphics, Gdiplus::SmoothingModeHighQuality));
    gdiplus_check(GdipSetCompositingMode(graphics.graphics, Gdiplus::CompositingModeSourceOver));
    gdiplus_check(GdipDrawImageRectI(graphics.graphics, picture_.get(), placed.left, placed.top,
                                     placed.right - placed.left, placed.bottom - placed.top));
  }
  cached_size_ = {width, height};
  cached_background_ = background;
  cached_text_ = text;
  cached_border_ = border;
}

void album_picture::draw(HDC dc, const RECT& panel, const RECT& clip, int border) {
  const COLORREF background = GetBkColor(dc);
  const HBRUSH fill = CreateSolidBrush(background);
  const gdi_object_holder fill_holder(fill);
  if (!picture_) {
    FillRect(dc, &clip, fill);
    return;
  }
  const int width = panel.right - panel.left, height = panel.bottom - panel.top;
  if (width <= 0 || height <= 0) {
    FillRect(dc, &clip, fill);
    return;
  }
  if (cached_size_.cx != width || cached_size_.cy != height ||
      cached_background_ != background || cached_text_ != GetTextColor(dc) || cached_border_ != border)
    render(dc, width, height, border);

  RECT inside = {};
  if (IntersectRect(&inside, &clip, &panel)) {
    memory_dc memory(CreateCompatibleDC(dc));
    selected_object_holder selected(memory.get(), cached_.get());
    BitBlt(dc, inside.left, inside.top, inside.right - inside.left, inside.bottom - inside.top, memory.get(),
           inside.left - panel.left, inside.top - panel.top, SRCCOPY);
  }
  // The rest of the clip: what lies outside the panel.
  const gdi_object_holder clip_region(CreateRectRgnIndirect(&clip));
  const gdi_object_holder panel_region(CreateRectRgnIndirect(&panel));
  const HRGN outside = static_cast<HRGN>(clip_region.get());
  if (CombineRgn(outside, outside, static_cast<HRGN>(panel_region.get()), RGN_DIFF) != NULLREGION)
    FillRgn(dc, outside, fill);
}
