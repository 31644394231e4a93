// The shell's small drawing and text routines: colours, gradients, double
// buffering, timestamps and clipboard text.
#include "ui/framework/drawing.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/clipboard_text.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"
#include "ui/framework/double_buffer.h"
#include "ui/framework/timestamp_text.h"

namespace {

// A 32-bit memory surface to draw into and read back.
class surface {
public:
  surface(int width, int height) {
    const HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~surface() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }

private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

TEST(Drawing, MixedColoursLieHalfWayPerChannel) {
  // MulDiv rounds: half of 255 is 128.
  EXPECT_EQ(mix_colors(RGB(0, 100, 255), RGB(255, 0, 255)), RGB(128, 50, 255));
  EXPECT_EQ(mix_colors(RGB(10, 10, 10), RGB(10, 10, 10)), RGB(10, 10, 10));
  // Whatever stood in the high byte does not leak into the result.
  EXPECT_EQ(mix_colors(0xFF000000u | RGB(0, 0, 0), RGB(2, 4, 6)) >> 24, 0u);
}

TEST(Drawing, ATwoBandGradientTurnsAtItsSplitAndGivesTheOddLineToTheLowerBand) {
  surface s(4, 11);
  const RECT area = {0, 0, 4, 11};
  gradient_fill_two_band(s.dc(), area, RGB(0, 0, 0), RGB(200, 200, 200), 50);
  // Split at 0 + 11 * 50 / 100 = 5 (rounded): rows 0-4 darken to light,
  // rows 5-10 (six of them) go from light back to dark.
  EXPECT_EQ(GetPixel(s.dc(), 1, 0), RGB(0, 0, 0));
  EXPECT_GT(GetRValue(GetPixel(s.dc(), 1, 4)), GetRValue(GetPixel(s.dc(), 1, 1)));
  EXPECT_GE(GetRValue(GetPixel(s.dc(), 1, 5)), 150);
  EXPECT_LT(GetRValue(GetPixel(s.dc(), 1, 10)), GetRValue(GetPixel(s.dc(), 1, 6)));
}

TEST(Drawing, ADoubleBufferDrawsInTheTargetsCoordinatesAndCopiesOnEnd) {
  surface target(40, 40);
  const RECT whole = {0, 0, 40, 40};
  FillRect(target.dc(), &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  {
    double_buffer buffer;
    const RECT area = {10, 20, 30, 30};
    const HDC memory = buffer.begin(target.dc(), area);
    ASSERT_NE(memory, nullptr);
    FillRect(memory, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetPixel(memory, 12, 22, RGB(255, 0, 0));
    // Nothing reaches the target before the end (here: the destructor).
    EXPECT_EQ(GetPixel(target.dc(), 12, 22), RGB(255, 255, 255));
  }
  EXPECT_EQ(GetPixel(target.dc(), 12, 22), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(target.dc(), 29, 29), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(target.dc(), 30, 30), RGB(255, 255, 255));
}

TEST(TimestampText, AFileTimeReadsAsLocalTimeAndAnImpossibleOneSaysSo) {
  SYSTEMTIME local = {2024, 2, 0, 29, 23, 5, 9, 0};
  FILETIME local_time, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&local, &local_time));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local_time, &utc));
  const std::uint64_t value = (std::uint64_t(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  EXPECT_EQ(format_timestamp_text(value), "2024-02-29 23:05:09");
  EXPECT_EQ(format_timestamp_text(0xFFFFFFFFFFFFFFFFull), "<invalid timestamp>");
}

TEST(ClipboardText, UnicodeTextPutByTheCallerComesBackWhole) {
  clipboard_scope clipboard;
  ASSERT_TRUE(clipboard.open());
  EmptyClipboard();
  const char* text = "\xD0\x9C\xD1\x83\xD0\xB7\xD1\x8B\xD0\xBA\xD0\xB0 \xE9\x9F\xB3\xE6\xA5\xBD \xF0\x9F\x8E\xB5";
  clipboard_set_text(text);
  qiv::string_buffer back;
  ASSERT_TRUE(clipboard_get_text(back));
  EXPECT_STREQ(back.get_ptr(), text);
  // Data of a format the clipboard refuses (none is open now) is freed and
  // reported with its error.
  clipboard.close();
  EXPECT_THROW(clipboard_set_data(CF_UNICODETEXT, L"x", 4), exception_win32);
}

}  // namespace
