// The popup message window, the information popups and the balloon tip as a
// user meets them: real windows, read back through their messages, with
// screenshots under screenshots/.
#include "ui/menus/popup_message_window.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "resources/popup_message_dialog.h"
#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "ui/menus/balloon_tip.h"
#include "ui/menus/information_popup.h"

namespace {

struct window_search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK match_caption(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<window_search*>(data);
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  if (std::wstring(text) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

// The window of this thread with that caption, or null.
HWND find_popup(const wchar_t* caption) {
  window_search search{caption, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &match_caption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring field_text(HWND popup) {
  wchar_t text[1024] = {};
  GetDlgItemTextW(popup, IDC_POPUP_MESSAGE_TEXT, text, 1024);
  return text;
}

class PopupMessageWindow : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("dialog_information", "Information");
  }
  static void TearDownTestSuite() { service_registry::free(); }

  void SetUp() override {
    owner = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300, nullptr,
                            nullptr, nullptr, nullptr);
    app::state().ui_main_window = owner;
  }
  void TearDown() override {
    app::state().ui_main_window = nullptr;
    DestroyWindow(owner);
    pump_pending();
  }

  void close(HWND popup) {
    SendMessageW(popup, WM_COMMAND, IDCANCEL, 0);
    pump_pending();
    EXPECT_FALSE(IsWindow(popup));
  }

  HWND owner = nullptr;
};

TEST(PopupMessageText, NewlinesBreakLinesAndCarriageReturnsAreIgnored) {
  EXPECT_EQ(popup_message_field_text("a\r\nb\nc\rd", ~std::size_t(0)), L"a\r\nb\r\ncd");
  EXPECT_EQ(popup_message_field_text("abc\ndef", 4), L"abc\r\n") << "the length counts";
  EXPECT_EQ(popup_message_field_text("\xC3\xA9t\xC3\xA9", ~std::size_t(0)), L"\u00E9t\u00E9");
}

TEST_F(PopupMessageWindow, ShowsTheTextReadOnlyInCourierNewFillingTheWindow) {
  service_lookup_unique_t<popup_message_ex>()->show(owner, "First line\nSecond line\r\nThird <b>", ~std::size_t(0),
                                                    "Errors", ~std::size_t(0));
  const HWND popup = find_popup(L"Errors");
  ASSERT_NE(popup, nullptr) << "made at once on the main thread";
  EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
  EXPECT_TRUE(IsWindowVisible(popup));
  EXPECT_EQ(field_text(popup), L"First line\r\nSecond line\r\nThird <b>");
  const HWND field = GetDlgItem(popup, IDC_POPUP_MESSAGE_TEXT);
  EXPECT_TRUE(GetWindowLongW(field, GWL_STYLE) & ES_READONLY);
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_STREQ(font.lfFaceName, L"Courier New");
  EXPECT_FALSE(SendMessageW(field, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) << "focusing selects nothing";

  SetWindowPos(popup, nullptr, 0, 0, 500, 260, SWP_NOMOVE | SWP_NOZORDER);
  RECT client, field_rect;
  GetClientRect(popup, &client);
  GetWindowRect(field, &field_rect);
  MapWindowPoints(nullptr, popup, reinterpret_cast<POINT*>(&field_rect), 2);
  EXPECT_EQ(field_rect.right, client.right) << "the field follows the window's size";
  EXPECT_EQ(field_rect.bottom, client.bottom);
  test_support::screen_capture(popup).save("popup_message");
  close(popup);
}

TEST_F(PopupMessageWindow, RequestsFromOtherThreadsArriveThroughTheMainThreadQueue) {
  std::thread([] {
    service_lookup_unique_t<popup_message>()->show("From a worker", ~std::size_t(0), "Worker report", 6, 1);
  }).join();
  EXPECT_EQ(find_popup(L"Worker"), nullptr) << "not made on the worker's thread";
  ASSERT_TRUE(pump_until([] { return find_popup(L"Worker") != nullptr; }));
  const HWND popup = find_popup(L"Worker");
  EXPECT_EQ(GetWindow(popup, GW_OWNER), owner) << "owned by the main window";
  EXPECT_EQ(field_text(popup), L"From a worker");
  close(popup);
}

TEST_F(PopupMessageWindow, NothingIsShownWithoutAMainWindow) {
  app::state().ui_main_window = nullptr;
  popup_message_show("lost?", "No window");
  pump_pending();
  EXPECT_EQ(find_popup(L"No window"), nullptr);
}

TEST_F(PopupMessageWindow, InformationPopupsJoinLabelAndDetailUnderTheInformationCaption) {
  show_labelled_information_popup("Information", "abc");
  const HWND popup = find_popup(L"Information");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(field_text(popup), L"Information: abc");
  close(popup);
}

TEST_F(PopupMessageWindow, InteractionWaitsForAnOpenModalWindowAndNeverHappensOffTheMainThread) {
  EXPECT_TRUE(ui_interaction_allowed());
  {
    modal_scope scope;
    scope.enter(owner);
    EXPECT_FALSE(ui_interaction_allowed());
    scope.leave();
  }
  EXPECT_TRUE(ui_interaction_allowed());
  bool off_main = true;
  std::thread([&] { off_main = ui_interaction_allowed(); }).join();
  EXPECT_FALSE(off_main);
}

TEST_F(PopupMessageWindow, ABalloonTipPointsAtItsControlUntilReplacedOrHidden) {
  const HWND first = CreateWindowExW(0, L"BUTTON", L"First", WS_CHILD | WS_VISIBLE, 20, 20, 120, 30, owner, nullptr,
                                     nullptr, nullptr);
  const HWND second = CreateWindowExW(0, L"BUTTON", L"Second", WS_CHILD | WS_VISIBLE, 20, 120, 120, 30, owner,
                                      nullptr, nullptr, nullptr);
  balloon_tip tip;
  tip.show_balloon_tip("Please select a valid output device.", first);
  const HWND tooltip = tip.tooltip_window();
  ASSERT_NE(tooltip, nullptr);
  pump_pending();
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_TRUE(IsWindowVisible(tooltip));
  RECT button, balloon;
  GetWindowRect(first, &button);
  GetWindowRect(tooltip, &balloon);
  EXPECT_GE(balloon.top, button.top) << "below the control, not somewhere else";
  test_support::screen_capture(owner).save("balloon_tip");

  tip.show_balloon_tip("Second hint", second);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1) << "the second replaces the first";
  wchar_t text[128] = {};
  TTTOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.lpszText = text;
  ASSERT_TRUE(SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)));
  EXPECT_STREQ(text, L"Second hint");
  EXPECT_EQ(info.uId, reinterpret_cast<UINT_PTR>(second));

  tip.show_balloon_tip(nullptr, second);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 0);
  tip.hide_balloon_tip();  // hiding nothing is harmless
}

}  // namespace
