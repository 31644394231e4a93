// The "Zorv:XButton" button as its parent and the user meet it: the
// notifications it sends and posts, and the faces it draws.
#include "ui/controls/push_button.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/message_pump.h"
#include "support/screen_capture.h"

namespace {

constexpr COLORREF parent_colour = RGB(40, 120, 200);

struct parent_record {
  // Notification codes in arrival order.
  std::vector<int> codes;
  bool skip_drawing = false;

  // Without the focus notifications, which windows of tests running beside
  // this one can add by taking the activation.
  std::vector<int> presses() const {
    std::vector<int> out;
    for (const int code : codes)
      if (code != BN_SETFOCUS && code != BN_KILLFOCUS) out.push_back(code);
    return out;
  }
};
parent_record record;

LRESULT CALLBACK parent_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
  case WM_COMMAND:
    record.codes.push_back(HIWORD(wparam));
    return 0;
  case WM_NOTIFY:
    if (reinterpret_cast<NMHDR*>(lparam)->code == NM_CUSTOMDRAW && record.skip_drawing) return CDRF_SKIPDEFAULT;
    return CDRF_DODEFAULT;
  case WM_ERASEBKGND: {
    RECT all;
    GetClientRect(window, &all);
    const HBRUSH brush = CreateSolidBrush(parent_colour);
    FillRect(reinterpret_cast<HDC>(wparam), &all, brush);
    DeleteObject(brush);
    return 1;
  }
  default:
    return DefWindowProcW(window, message, wparam, lparam);
  }
}

class PushButton : public ::testing::Test {
protected:
  void SetUp() override {
    register_push_button_class();
    register_push_button_class();  // once per process; again is fine
    WNDCLASSW description = {};
    description.lpfnWndProc = &parent_procedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"PushButtonTestParent";
    RegisterClassW(&description);
    parent = CreateWindowExW(WS_EX_TOPMOST, L"PushButtonTestParent", L"Buttons", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 60, 60,
                             360, 140, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    button = make(L"Play", 20, 0);
    record = {};
    SetForegroundWindow(parent);
    pump_pending();
  }
  void TearDown() override { DestroyWindow(parent); }

  HWND make(const wchar_t* text, int x, DWORD style) {
    return CreateWindowExW(0, push_button_class_name, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, 20, 90, 40,
                           parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(7 + x)), nullptr, nullptr);
  }
  LPARAM inside() const { return MAKELPARAM(45, 20); }
  LPARAM outside() const { return MAKELPARAM(200, 20); }  // over the parent

  HWND parent = nullptr, button = nullptr;
};

TEST_F(PushButton, PressDragOffAndReleaseGivesPushedAndUnpushedButNoClick) {
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, inside());
  EXPECT_EQ(GetFocus(), button);
  SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, outside());
  SendMessageW(button, WM_LBUTTONUP, 0, outside());
  pump_pending();
  EXPECT_EQ(record.presses(), (std::vector<int>{BN_PUSHED, BN_UNPUSHED}));

  // Released over the button it clicks, and the click arrives posted.
  record.codes.clear();
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, inside());
  SendMessageW(button, WM_LBUTTONUP, 0, inside());
  EXPECT_EQ(record.presses(), (std::vector<int>{BN_PUSHED, BN_UNPUSHED}));
  pump_pending();
  EXPECT_EQ(record.presses(), (std::vector<int>{BN_PUSHED, BN_UNPUSHED, BN_CLICKED}));
}

TEST_F(PushButton, SpaceClicksAndLosingTheFocusWhileHeldReleasesWithoutAClick) {
  SetFocus(button);
  record.codes.clear();
  SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x40000000);  // auto-repeat: still one press
  SendMessageW(button, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(record.presses(), (std::vector<int>{BN_PUSHED, BN_UNPUSHED}));
  pump_pending();
  EXPECT_EQ(record.presses(), (std::vector<int>{BN_PUSHED, BN_UNPUSHED, BN_CLICKED}));

  record.codes.clear();
  SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
  SetFocus(parent);
  SendMessageW(button, WM_KEYUP, VK_SPACE, 0);
  pump_pending();
  EXPECT_EQ(record.codes, (std::vector<int>{BN_PUSHED, BN_KILLFOCUS, BN_UNPUSHED}));
}

TEST_F(PushButton, ACheckedPushButtonIgnoresPressesWhileACheckButtonToggles) {
  SendMessageW(button, BM_SETCHECK, 1, 0);
  EXPECT_EQ(SendMessageW(button, BM_GETCHECK, 0, 0), 1);
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, inside());
  SendMessageW(button, WM_LBUTTONUP, 0, inside());
  pump_pending();
  EXPECT_TRUE(record.presses().empty());

  const HWND check = make(L"Repeat", 130, 2);
  record.codes.clear();
  SendMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, inside());
  SendMessageW(check, WM_LBUTTONUP, 0, inside());
  pump_pending();
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), 1);
  SendMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, inside());
  SendMessageW(check, WM_LBUTTONUP, 0, inside());
  pump_pending();
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), 0);
  EXPECT_EQ(record.presses(),
            (std::vector<int>{BN_PUSHED, BN_UNPUSHED, BN_CLICKED, BN_PUSHED, BN_UNPUSHED, BN_CLICKED}));
}

TEST_F(PushButton, FacesDrawOverTheParentsBackgroundUnlessTheParentDrawsThemItself) {
  const HWND held = make(L"Pause", 130, 0);
  make(L"", 240, 0);
  SendMessageW(held, BM_SETCHECK, 1, 0);  // drawn pushed
  SendMessageW(button, WM_MOUSEMOVE, 0, inside());  // hot, reported through custom draw only
  const HFONT font = CreateFontW(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), font);
  const test_support::screen_capture faces(parent);
  faces.save("push_button_faces");
  // The face covers the button's middle; the parent shows around it.
  EXPECT_NE(faces.client_pixel(20 + 10, 20 + 30), parent_colour);
  EXPECT_EQ(faces.client_pixel(5, 5), parent_colour);
  // Pushed and normal faces differ.
  EXPECT_NE(faces.client_pixel(130 + 6, 20 + 6), faces.client_pixel(20 + 6, 20 + 6));
  // Text only where the label is: the empty button's middle is plain face.
  EXPECT_EQ(faces.client_pixel(240 + 45, 20 + 20), faces.client_pixel(240 + 10, 20 + 20));

  record.skip_drawing = true;
  const test_support::screen_capture skipped(parent);
  skipped.save("push_button_skipped");
  EXPECT_EQ(skipped.client_pixel(20 + 45, 20 + 20), parent_colour);
  EXPECT_EQ(skipped.client_pixel(130 + 10, 20 + 30), parent_colour);
  DestroyWindow(button);
  DeleteObject(font);
}

}  // namespace
