// Dialogs reopen where the user left them, relative to their owner, rescaled
// to the screen's DPI and never off-screen or exactly over a twin.
#include "ui/framework/window_placement.h"

#include <gtest/gtest.h>

#include "core/window_position_capture.h"
#include "support/byte_stream_buffers.h"

namespace {

window_placement_keeper* active_keeper = nullptr;

LRESULT CALLBACK kept_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (active_keeper != nullptr) active_keeper->on_message(window, message);
  return DefWindowProcW(window, message, wparam, lparam);
}

const wchar_t* kept_class() {
  static const ATOM atom = [] {
    WNDCLASSW description = {};
    description.lpfnWndProc = kept_window_procedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"ZorvPlacementTest";
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    return RegisterClassW(&description);
  }();
  return reinterpret_cast<const wchar_t*>(static_cast<ULONG_PTR>(atom));
}

config_item* test_items = nullptr;
constexpr GUID item_guid = {0x5E1F0A11, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr DWORD resizable = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
constexpr DWORD fixed = WS_POPUP | WS_CAPTION | WS_SYSMENU;

RECT client_on_screen(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class WindowPlacement : public ::testing::Test {
protected:
  void SetUp() override {
    owner = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 600, 400, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
  }
  void TearDown() override {
    active_keeper = nullptr;
    DestroyWindow(owner);
  }

  // A dialog-like popup with a 200 x 100 client area at the screen's corner,
  // made under `keeper`.
  HWND open(window_placement_keeper& keeper, DWORD style = resizable) {
    RECT frame = {0, 0, 200, 100};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    active_keeper = &keeper;
    HWND window = CreateWindowExW(0, kept_class(), L"Kept", style | WS_VISIBLE, 0, 0, frame.right - frame.left,
                                  frame.bottom - frame.top, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    return window;
  }
  RECT owner_rect() const {
    RECT rect;
    GetWindowRect(owner, &rect);
    return rect;
  }

  HWND owner = nullptr;
};

TEST_F(WindowPlacement, AFreshRecordCentresTheDialogOnItsOwnerAtItsOwnSize) {
  config_window_position item(item_guid, &test_items);
  window_placement_keeper keeper(item);
  HWND window = open(keeper);
  const RECT client = client_on_screen(window);
  EXPECT_EQ(client.right - client.left, 200);
  EXPECT_EQ(client.bottom - client.top, 100);
  RECT frame;
  GetWindowRect(window, &frame);
  const RECT o = owner_rect();
  EXPECT_NEAR((frame.left + frame.right) / 2, (o.left + o.right) / 2, 2);
  EXPECT_EQ(item.value().dpi_x, screen_logical_dpi()) << "the record now holds the screen's DPI";
  DestroyWindow(window);
}

// The stored offset is relative to the owner: after the owner moved the
// dialog reopens at the same place beside it, at the size it was given.
TEST_F(WindowPlacement, SizeAndOffsetFromTheOwnerSurviveClosingAndOwnerMoves) {
  config_window_position item(item_guid, &test_items);
  window_placement_keeper keeper(item);
  HWND window = open(keeper);
  const RECT o = owner_rect();
  SetWindowPos(window, nullptr, o.left + 40, o.top + 30, 340, 260, SWP_NOZORDER);
  const RECT before = client_on_screen(window);
  DestroyWindow(window);
  EXPECT_EQ(keeper.attached_window(), nullptr);
  EXPECT_EQ(item.value().width, before.right - before.left);
  EXPECT_EQ(item.value().x, before.left - o.left);

  SetWindowPos(owner, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  window = open(keeper);
  const RECT after = client_on_screen(window);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  EXPECT_EQ(after.left - 150, before.left - o.left);
  EXPECT_EQ(after.top - 120, before.top - o.top);

  // Saving the configuration while it is open stores where it is now.
  SetWindowPos(window, nullptr, 0, 0, 300, 280, SWP_NOMOVE | SWP_NOZORDER);
  test_support::vector_writer out;
  item.write(out, never_raised_abort_signal());
  EXPECT_EQ(item.value().width, client_on_screen(window).right - client_on_screen(window).left);
  DestroyWindow(window);
}

TEST_F(WindowPlacement, ARecordFromAnotherDpiIsRescaledAndAFixedFrameKeepsItsSize) {
  const int dpi = screen_logical_dpi();
  config_window_position item(item_guid, &test_items);
  // Taken at two thirds of the current DPI: everything grows by half.
  item.value() = {200, 120, 40, 20, dpi * 2 / 3, dpi * 2 / 3};
  window_placement_keeper keeper(item);
  HWND window = open(keeper);
  RECT client = client_on_screen(window);
  const RECT o = owner_rect();
  EXPECT_NEAR(client.right - client.left, 300, 1);
  EXPECT_NEAR(client.bottom - client.top, 180, 1);
  EXPECT_NEAR(client.left - o.left, 60, 1);
  EXPECT_NEAR(client.top - o.top, 30, 1);
  EXPECT_EQ(item.value().dpi_y, dpi);
  DestroyWindow(window);

  item.value() = {400, 300, 50, 60, dpi, dpi};
  window = open(keeper, fixed);
  client = client_on_screen(window);
  EXPECT_EQ(client.right - client.left, 200) << "no sizing border: the size stays";
  EXPECT_EQ(client.left - o.left, 50);
  DestroyWindow(window);
}

TEST_F(WindowPlacement, ASecondDialogOfTheKindOpensBesideTheFirstAndOffScreenRecordsComeBack) {
  config_window_position item(item_guid, &test_items);
  window_placement_keeper first_keeper(item);
  window_placement_keeper second_keeper(item);
  HWND first = open(first_keeper);
  HWND second = open(second_keeper);
  RECT a, b;
  GetWindowRect(first, &a);
  GetWindowRect(second, &b);
  EXPECT_EQ(b.left - a.left, GetSystemMetrics(SM_CYCAPTION));
  EXPECT_EQ(b.top - a.top, GetSystemMetrics(SM_CYCAPTION));
  DestroyWindow(second);
  DestroyWindow(first);

  // A monitor that was removed: the dialog comes back into the work area.
  item.value() = {200, 100, 5000, 4000, screen_logical_dpi(), screen_logical_dpi()};
  HWND window = open(first_keeper);
  RECT frame, work;
  GetWindowRect(window, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_LE(frame.right, work.right);
  EXPECT_LE(frame.bottom, work.bottom);
  EXPECT_GE(frame.left, work.left);
  DestroyWindow(window);
}

}  // namespace
