// Button icons, their recolouring and the album picture, read back pixel by
// pixel.
#include "ui/controls/button_images.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/io_test_support.h"
#include "ui/controls/album_picture.h"
#include "ui/controls/theme.h"
#include "support/screen_capture.h"
#include "ui/framework/gdiplus_session.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr std::uint32_t play_icon = 107;

std::uint32_t pixel(Gdiplus::GpBitmap* bitmap, int x, int y) {
  Gdiplus::ARGB colour = 0;
  GdipBitmapGetPixel(bitmap, x, y, &colour);
  return colour;
}

gdiplus_image bitmap_of(const std::vector<std::uint32_t>& argb) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdiplus_check(GdipCreateBitmapFromScan0(static_cast<INT>(argb.size()), 1, 0, PixelFormat32bppARGB, nullptr, &bitmap));
  for (std::size_t x = 0; x < argb.size(); ++x) GdipBitmapSetPixel(bitmap, static_cast<INT>(x), 0, argb[x]);
  return gdiplus_image(bitmap);
}

// A 24-bit BMP of one colour, padded with zeros to `file_size` when given.
std::string bmp_file(int width, int height, COLORREF colour, std::size_t file_size = 0) {
  const int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + stride * height;
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
  std::string row(stride, '\0');
  for (int x = 0; x < width; ++x) {
    row[x * 3] = static_cast<char>(GetBValue(colour));
    row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
    row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
  }
  for (int y = 0; y < height; ++y) bytes += row;
  if (file_size > bytes.size()) bytes.resize(file_size, '\0');
  return bytes;
}

class ButtonImages : public ::testing::Test {
protected:
  void TearDown() override { set_current_theme(theme_ids::classic); }
  gdiplus_session gdiplus;
};

TEST_F(ButtonImages, IconSizesAreThreeQuartersOfTheButtonAndAtLeastEight) {
  const struct {
    int width, height;
    bool square;
    SIZE expected;
  } cases[] = {
      {20, 20, true, {15, 15}}, {6, 6, true, {8, 8}}, {40, 20, false, {30, 15}}, {40, 20, true, {15, 15}},
      {29, 20, true, {15, 15}},
  };
  for (const auto& c : cases) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, c.width, c.height, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    const SIZE size = main_button_icon_size(window, c.square);
    EXPECT_EQ(size.cx, c.expected.cx) << c.width << "x" << c.height;
    EXPECT_EQ(size.cy, c.expected.cy) << c.width << "x" << c.height;
    DestroyWindow(window);
  }
}

TEST_F(ButtonImages, GreyInversionAndFadeChangeExactlyTheirChannels) {
  gdiplus_image image = bitmap_of({0xFF102030, 0x80FFFFFF, 0x00000000, 0xFE010101});
  invert_to_grey(image.bitmap());
  EXPECT_EQ(pixel(image.bitmap(), 0, 0), 0xFFDFDFDFu);  // 255 - (16 + 32 + 48) / 3
  EXPECT_EQ(pixel(image.bitmap(), 1, 0), 0x80000000u);
  EXPECT_EQ(pixel(image.bitmap(), 3, 0), 0xFEFEFEFEu);
  fade_to_third(image.bitmap());
  EXPECT_EQ(pixel(image.bitmap(), 0, 0), 0x55DFDFDFu);
  EXPECT_EQ(pixel(image.bitmap(), 1, 0) >> 24, 42u);  // 128 / 3
  EXPECT_EQ(pixel(image.bitmap(), 2, 0), 0x00FFFFFFu) << "alpha stays, also when it is 0";
}

TEST_F(ButtonImages, TheCacheKeepsOneIconPerLookAndSizeInTheThemeItWasMadeFor) {
  button_icon_cache cache;
  Gdiplus::GpBitmap* normal = cache.button_icon(play_icon, 32, 32);
  Gdiplus::GpBitmap* disabled = cache.button_icon(play_icon | button_icon_disabled, 32, 32);
  EXPECT_EQ(cache.button_icon(play_icon, 32, 32), normal);
  EXPECT_EQ(cache.size(), 2u);
  // The middle of the play glyph: dark and opaque, a third of it disabled.
  const std::uint32_t middle = pixel(normal, 14, 16);
  EXPECT_EQ(middle >> 24, 0xFFu);
  EXPECT_LT(middle & 0xFF, 0x40u);
  EXPECT_EQ(pixel(disabled, 14, 16), (0x55u << 24) | (middle & 0xFFFFFF));

  set_current_theme(theme_ids::black);
  cache.clear();
  const std::uint32_t light = pixel(cache.button_icon(play_icon, 32, 32), 14, 16);
  EXPECT_EQ(light & 0xFF, 255 - (middle & 0xFF)) << "light grey for the dark theme";
  EXPECT_THROW(cache.button_icon(999, 16, 16), qiv::exception_bug_check);

  const HICON icon = icon_from_resource(16, 16);
  EXPECT_NE(icon, nullptr);
  DestroyIcon(icon);
}

TEST_F(ButtonImages, PictureFilesUpToSixteenMebibytesShowAndBadOnesShowNothing) {
  io_test::scratch_folder folder;
  const std::string exact = folder.path("exact.bmp"), over = folder.path("over.bmp"),
                    cut = folder.path("cut.bmp"), text = folder.path("text.jpg");
  io_test::write_file(exact, bmp_file(40, 30, RGB(255, 0, 0), album_picture::size_limit));
  io_test::write_file(over, bmp_file(40, 30, RGB(255, 0, 0), album_picture::size_limit + 1));
  io_test::write_file(cut, bmp_file(40, 30, RGB(255, 0, 0)).substr(0, 40));
  io_test::write_file(text, "not a picture at all");

  album_picture picture;
  picture.set_file(io_test::wide(exact));
  EXPECT_TRUE(picture.has_picture());
  EXPECT_THROW(picture.set_file(io_test::wide(over)), vantrel_io::exception_io_data);
  EXPECT_FALSE(picture.has_picture()) << "the old picture is gone";
  for (const std::string& bad : {over, cut, text, folder.path("missing.png")}) {
    ASSERT_TRUE(picture.show_file(io_test::wide(exact)));
    EXPECT_FALSE(picture.show_file(io_test::wide(bad))) << bad;
    EXPECT_FALSE(picture.has_picture()) << bad;
  }
  EXPECT_THROW(picture.set_file(io_test::wide(folder.path("missing.png"))), vantrel_io::exception_io);
}

TEST_F(ButtonImages, APictureIsFittedCentredOverTheGradientAndTheRestOfTheClipIsBackground) {
  io_test::scratch_folder folder;
  const std::string wide_picture = folder.path("wide.bmp");
  io_test::write_file(wide_picture, bmp_file(400, 300, RGB(255, 0, 0)));
  album_picture picture;
  picture.set_file(io_test::wide(wide_picture));

  EXPECT_EQ(album_picture::fit({0, 0, 200, 200}, {400, 300}).top, 25);
  EXPECT_EQ(album_picture::fit({0, 0, 200, 200}, {400, 300}).bottom, 175);
  EXPECT_EQ(album_picture::fit({0, 0, 200, 100}, {100, 100}).left, 50);

  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 220, 220);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  const RECT panel = {10, 10, 210, 210}, clip = {0, 0, 220, 220};
  picture.draw(dc, panel, clip, 0);
  EXPECT_EQ(GetPixel(dc, 110, 110), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 110, 36), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 10, 110), RGB(255, 0, 0)) << "the full width";
  EXPECT_NE(GetPixel(dc, 110, 33), RGB(255, 0, 0)) << "above the picture: the gradient";
  EXPECT_EQ(GetPixel(dc, 110, 10), RGB(255, 255, 255)) << "the gradient starts at the background";
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 255, 255)) << "outside the panel";

  // Drawn again from the cache, with another background: re-rendered.
  SetBkColor(dc, RGB(0, 0, 255));
  picture.draw(dc, panel, clip, 0);
  EXPECT_EQ(GetPixel(dc, 110, 10), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 215, 215), RGB(0, 0, 255));
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// What the main window will paint: the picture panel and the icons, on the
// screen.
struct picture_window {
  album_picture* picture = nullptr;
  Gdiplus::GpBitmap* icon = nullptr;
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_PAINT) return DefWindowProcW(window, message, wparam, lparam);
    auto* self = reinterpret_cast<picture_window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    SetBkColor(dc, theme_colour(theme_background));
    SetTextColor(dc, theme_colour(theme_text));
    RECT client = {};
    GetClientRect(window, &client);
    self->picture->draw(dc, {0, 0, 200, 200}, client, 4);
    Gdiplus::GpGraphics* graphics = nullptr;
    GdipCreateFromHDC(dc, &graphics);
    GdipDrawImageRectI(graphics, self->icon, 210, 10, 32, 32);
    GdipDeleteGraphics(graphics);
    EndPaint(window, &paint);
    return 0;
  }
};

TEST_F(ButtonImages, TheWindowShowsThePictureAndTheIconsInTheBlackTheme) {
  io_test::scratch_folder folder;
  io_test::write_file(folder.path("tall.bmp"), bmp_file(100, 200, RGB(255, 0, 0)));
  album_picture picture;
  picture.set_file(io_test::wide(folder.path("tall.bmp")));
  set_current_theme(theme_ids::black);
  button_icon_cache icons;
  picture_window painter{&picture, icons.button_icon(play_icon, 32, 32)};
  WNDCLASSW description = {};
  description.lpfnWndProc = picture_window::procedure;
  description.hInstance = GetModuleHandleW(nullptr);
  description.lpszClassName = L"ImagesTestWindow";
  RegisterClassW(&description);
  const HWND window = CreateWindowExW(0, L"ImagesTestWindow", L"", WS_POPUP, 50, 50, 260, 200, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&painter));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  test_support::screen_capture shot(window);
  shot.save("album_picture_black");
  EXPECT_EQ(shot.client_pixel(100, 100), RGB(255, 0, 0));
  EXPECT_NE(shot.client_pixel(100, 2), RGB(255, 0, 0)) << "the border keeps the picture off the edge";
  EXPECT_NE(shot.client_pixel(30, 100), RGB(255, 0, 0)) << "a tall picture leaves the sides to the gradient";
  EXPECT_EQ(shot.client_pixel(250, 100), RGB(0, 0, 0)) << "outside the panel";
  const COLORREF glyph = shot.client_pixel(210 + 14, 10 + 16);
  EXPECT_GT(GetRValue(glyph), 0xC0) << "the dark glyph shows light on black";
  DestroyWindow(window);

  // The faces of a button, drawn over its parent, are faded for dark themes.
  const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  const HWND button = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 10, 10, 40, 30, parent, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  const gdiplus_image dark_face = button_face(button, face_pressed, 40, 30);
  EXPECT_EQ(pixel(dark_face.bitmap(), 20, 15) >> 24, 0x55u);
  set_current_theme(theme_ids::white);
  const gdiplus_image light_face = button_face(button, face_pressed, 40, 30);
  EXPECT_EQ(pixel(light_face.bitmap(), 20, 15) >> 24, 0xFFu);
  DestroyWindow(parent);
}

}  // namespace
