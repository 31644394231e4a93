// Window, dialog-item, message and menu text in UTF-8.
#include "foundation/window_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"

namespace {

// "Grüße ✓ 𝄞": two-byte, three-byte and four-byte (surrogate pair) characters.
constexpr const char* mixed_text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9D\x84\x9E";
constexpr const wchar_t* mixed_wide = L"Gr\u00FC\u00DFe \u2713 \U0001D11E";
constexpr int edit_id = 100;

// A hidden parent window with one edit control, as in a dialog.
class WindowText : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 200, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(edit_id)), nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
  }
  void TearDown() override { DestroyWindow(parent); }

  std::wstring wide_text() const {
    wchar_t buffer[256] = {};
    GetWindowTextW(edit, buffer, 256);
    return buffer;
  }

  HWND parent = nullptr;
  HWND edit = nullptr;
};

TEST_F(WindowText, TextOutsideTheBasicPlaneSurvivesBothDirectionsThroughEitherCall) {
  qiv::string_buffer output("stale");
  EXPECT_TRUE(get_window_text_utf8(edit, output));  // an empty control empties the output
  EXPECT_STREQ(output.get_ptr(), "");
  ASSERT_TRUE(set_window_text_utf8(edit, mixed_text));
  EXPECT_EQ(wide_text(), mixed_wide);
  ASSERT_TRUE(get_dlg_item_text_utf8(parent, edit_id, output));
  EXPECT_STREQ(output.get_ptr(), mixed_text);
  ASSERT_TRUE(set_dlg_item_text_utf8(parent, edit_id, "\xC3\xA9t\xC3\xA9"));
  ASSERT_TRUE(get_window_text_utf8(edit, output));
  EXPECT_STREQ(output.get_ptr(), "\xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(set_dlg_item_text_utf8(parent, edit_id + 1, "x"));
}

TEST_F(WindowText, MessagesCarryTheConvertedTextOrNothing) {
  EXPECT_EQ(send_message_text(edit, WM_SETTEXT, 0, mixed_text), TRUE);
  EXPECT_EQ(wide_text(), mixed_wide);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  send_message_text(edit, EM_REPLACESEL, FALSE, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(wide_text(), L"\u00E9t\u00E9");
  // A null text is sent as lparam 0, which WM_SETTEXT takes as an empty text.
  EXPECT_EQ(send_message_text(edit, WM_SETTEXT, 0, nullptr), TRUE);
  EXPECT_EQ(wide_text(), L"");
}

TEST(MenuText, ItemsKeepTheirTextAndTypeFlags) {
  HMENU menu = CreatePopupMenu();
  ASSERT_TRUE(append_menu_utf8(menu, MF_STRING, 1, mixed_text));
  ASSERT_TRUE(append_menu_utf8(menu, MF_SEPARATOR, 0, nullptr));
  ASSERT_TRUE(append_menu_utf8(menu, MF_STRING | MF_MENUBREAK, 2, "Next column"));
  wchar_t text[64] = {};
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, mixed_wide);
  const UINT types[] = {MFT_STRING, MFT_SEPARATOR, MFT_MENUBREAK, 0 /* no such item */};
  for (UINT i = 0; i < 4; ++i) EXPECT_EQ(get_menu_item_type(menu, i), types[i]) << i;
  DestroyMenu(menu);
}

} // namespace
