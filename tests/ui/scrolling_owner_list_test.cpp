// Middle-button scrolling of the owner-drawn list: the marker, the speed with
// distance and direction, and how the mode ends.
#include "ui/controls/scrolling_owner_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "ui/framework/autoscroll_marker.h"
#include "ui/framework/autoscroll_speed.h"
#include "ui/framework/window_utilities.h"

namespace {

class grid_source final : public owner_list_source {
public:
  int count = 3000;
  bool single_column = false;
  void set_icon_size(int, int) override {}
  std::wstring get_text(std::uint32_t index) override { return L"Track " + std::to_wstring(index); }
  std::uint32_t get_count() override { return count; }
  HICON get_icon(std::uint32_t) override { return nullptr; }
  void activate() override {}
  void selection_changed() override {}
  bool is_single_column() override { return single_column; }
  bool has_side_panel() override { return false; }
  void paint_side_panel(const RECT&, const RECT&, int, HDC) override {}
  COLORREF get_colour(int kind) override { return kind == colour_text ? RGB(0, 0, 0) : RGB(255, 255, 255); }
};

class ScrollingOwnerList : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(WS_EX_TOPMOST, L"#32770", L"Scrolling list", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 500, 400,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    const RECT place = {0, 0, 480, 360};
    window = list.create(parent, place, 1);
    SetForegroundWindow(parent);
    pump_pending();
  }
  void TearDown() override { DestroyWindow(parent); }

  // Starts the mode at a client point and answers the origin on screen.
  POINT start_at(int x, int y) {
    POINT origin = {x, y};
    ClientToScreen(window, &origin);
    SetCursorPos(origin.x, origin.y);
    SendMessageW(window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(x, y));
    // The test runs the ticks itself, each at a pointer position it chose.
    KillTimer(window, autoscroll_session::timer_id);
    return origin;
  }
  // One tick with the pointer (dx, dy) from the origin: the timer reads the
  // position of the message it runs for.
  POINT tick_at(POINT origin, int dx, int dy) {
    SetCursorPos(origin.x + dx, origin.y + dy);
    const POINT before = list.scroll_position();
    // A posted message carries the pointer position of its moment.
    PostMessageW(window, WM_TIMER, autoscroll_session::timer_id, 0);
    MSG got;
    while (!PeekMessageW(&got, window, WM_TIMER, WM_TIMER, PM_REMOVE)) Sleep(1);
    DispatchMessageW(&got);
    const POINT after = list.scroll_position();
    return {after.x - before.x, after.y - before.y};
  }

  grid_source source;
  scrolling_owner_list list{&source};
  HWND parent = nullptr, window = nullptr;
};

TEST_F(ScrollingOwnerList, AMiddleClickShowsTheMarkerAtTheOriginAndAnyOtherClickEndsTheMode) {
  source.single_column = true;
  list.reload();
  const POINT origin = start_at(200, 150);
  ASSERT_TRUE(list.autoscroll_active());
  EXPECT_EQ(GetCapture(), window);
  const HWND marker = list.marker_window();
  ASSERT_NE(marker, nullptr);
  EXPECT_TRUE(IsWindowVisible(marker));
  EXPECT_NE(GetWindowLongW(marker, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(marker, &key, nullptr, &flags));
  EXPECT_EQ(key, autoscroll_marker::colour_key);
  EXPECT_EQ(flags & LWA_COLORKEY, static_cast<DWORD>(LWA_COLORKEY));
  RECT place;
  GetWindowRect(marker, &place);
  EXPECT_EQ(place.left, origin.x - 16);
  EXPECT_EQ(place.top, origin.y - 16);
  EXPECT_EQ(place.right - place.left, 32);
  test_support::screen_capture(parent).save("scrolling_owner_list_marker");
  // The middle of the icon is its dark dot. A layered window reaches the
  // screen a little later than others on a loaded display: look again.
  COLORREF middle = CLR_INVALID;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const test_support::screen_capture marker_shot(marker);
    marker_shot.save("autoscroll_marker");
    middle = marker_shot.client_pixel(16, 16);
    if (GetRValue(middle) < 0x80) break;
  }
  EXPECT_LT(GetRValue(middle), 0x80);

  // Moves are the mode's own while it lasts.
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_EQ(list.focus_index(), -1);

  // A left click ends the mode and still selects the item under it.
  const LPARAM item_2 = MAKELPARAM(10, 2 * list.layout().cell_height + 2);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, item_2);
  SendMessageW(window, WM_LBUTTONUP, 0, item_2);
  EXPECT_FALSE(list.autoscroll_active());
  EXPECT_FALSE(IsWindowVisible(marker));
  EXPECT_TRUE(list.is_selected(2));

  // A second middle click and a middle-button release end it too.
  start_at(100, 100);
  SendMessageW(window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(100, 100));
  EXPECT_FALSE(list.autoscroll_active());
  start_at(100, 100);
  SendMessageW(window, WM_MBUTTONUP, 0, MAKELPARAM(100, 100));
  EXPECT_FALSE(list.autoscroll_active());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ScrollingOwnerList, TheListMovesTowardsThePointerFasterWithDistanceAndDiagonally) {
  ASSERT_EQ(screen_dpi(), 96);
  source.single_column = true;
  list.reload();
  const POINT origin = start_at(200, 150);
  EXPECT_EQ(tick_at(origin, 0, 0).y, 0);
  EXPECT_EQ(tick_at(origin, 0, 100).y, 9);
  EXPECT_EQ(tick_at(origin, 0, 200).y, 36);
  EXPECT_EQ(tick_at(origin, 0, -100).y, -9);
  EXPECT_EQ(tick_at(origin, 0, -100).x, 0);  // straight up: vertical only
  ReleaseCapture();

  // Diagonal, on the multi-column grid that scrolls both ways... only
  // sideways there, so the direction split is checked on the speeds.
  const autoscroll_velocity diagonal = autoscroll_pixels_per_tick(30, 40, 96);
  EXPECT_NEAR(diagonal.x / diagonal.y, 0.75, 1e-9);
  EXPECT_NEAR(std::hypot(diagonal.x, diagonal.y), 2.25, 1e-9);  // (50 * 0.03)^2
  const autoscroll_velocity left_up = autoscroll_pixels_per_tick(-30, -40, 96);
  EXPECT_DOUBLE_EQ(left_up.x, -diagonal.x);
  EXPECT_DOUBLE_EQ(left_up.y, -diagonal.y);
  // At twice the DPI the same physical offset moves as many physical pixels.
  const autoscroll_velocity hidpi = autoscroll_pixels_per_tick(0, 200, 192);
  EXPECT_DOUBLE_EQ(hidpi.y, 18.0);
  EXPECT_DOUBLE_EQ(autoscroll_pixels_per_tick(5, 5, 0).x, 0.0);

  // Fractions carry: 1.8 pixels a tick gives 2, 2, 1, 2, 2 (9 in five).
  double carry = 0.0;
  int moved = 0;
  std::vector<int> steps;
  for (int i = 0; i < 5; ++i) {
    steps.push_back(take_whole_pixels(1.8, carry));
    moved += steps.back();
  }
  EXPECT_EQ(moved, 9);
  EXPECT_EQ(steps, (std::vector<int>{2, 2, 1, 2, 2}));

  // A multi-column list scrolls sideways by the horizontal part.
  source.single_column = false;
  list.reload();
  ASSERT_TRUE(list.layout().multi_column);
  const POINT grid_origin = start_at(200, 150);
  EXPECT_EQ(tick_at(grid_origin, 200, 0).x, 36);
  ReleaseCapture();
}

}  // namespace
