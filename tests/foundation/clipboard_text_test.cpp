// Clipboard text in UTF-8, as other programs put it there and find it.
#include "foundation/clipboard_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"

namespace {

// "Ölçü ✓ 𝄞": characters of two, three and four bytes.
constexpr const char* mixed_text = "\xC3\x96l\xC3\xA7\xC3\xBC \xE2\x9C\x93 \xF0\x9D\x84\x9E";
constexpr const wchar_t* mixed_wide = L"\u00D6l\u00E7\u00FC \u2713 \U0001D11E";

TEST(ClipboardText, RoundTripsAsUnicodeTextAndLeavesTheClipboardClosed) {
  ASSERT_TRUE(set_clipboard_text_utf8(mixed_text));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(data)), mixed_wide);
  GlobalUnlock(data);
  CloseClipboard();
  qiv::string_buffer output;
  ASSERT_TRUE(get_clipboard_text_utf8(output));
  EXPECT_STREQ(output.get_ptr(), mixed_text);
  EXPECT_FALSE(CloseClipboard());  // already closed for other programs
}

TEST(ClipboardText, ReadingStopsAtTheTerminatorOfALargerBlock) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64 * sizeof(wchar_t));
  auto* units = static_cast<wchar_t*>(GlobalLock(memory));
  wcscpy(units, L"short");
  units[10] = L'x';
  GlobalUnlock(memory);
  ASSERT_TRUE(OpenClipboard(nullptr));  // as another program would
  EmptyClipboard();
  ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
  CloseClipboard();
  qiv::string_buffer output;
  ASSERT_TRUE(get_clipboard_text_utf8(output));
  EXPECT_STREQ(output.get_ptr(), "short");
}

TEST(ClipboardText, NoUnicodeTextOrAnUnlockableBlockGivesFalseAndKeepsTheOutput) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  qiv::string_buffer output("unchanged");
  EXPECT_FALSE(get_clipboard_text_utf8(output));
  // A movable block of size 0 is born discarded: GlobalLock answers null.
  // (Wine refuses such a block as clipboard data, so it is read directly.)
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_EQ(GlobalLock(memory), nullptr);
  EXPECT_FALSE(get_global_text_utf8(memory, output));
  EXPECT_STREQ(output.get_ptr(), "unchanged");
  GlobalFree(memory);
}

TEST(ClipboardScope, ClosesOnlyAClipboardItOpened) {
  {
    clipboard_scope scope;
    ASSERT_TRUE(scope.open());
  }
  EXPECT_FALSE(CloseClipboard());  // the scope closed it
  ASSERT_TRUE(OpenClipboard(nullptr));
  { clipboard_scope never_opened; }
  EXPECT_TRUE(CloseClipboard());  // still open
}

} // namespace
