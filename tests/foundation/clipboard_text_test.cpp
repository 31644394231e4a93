// Clipboard text in UTF-8, as other programs put it there and find it.
#include "foundation/clipboard_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"

namespace {

TEST(ClipboardText, CharactersOfEveryLengthRoundTripAsUnicodeTextAndTheClipboardIsLeftClosed) {
  const char* text = "\xC3\x96l\xC3\xA7\xC3\xBC \xE2\x9C\x93 \xF0\x9D\x84\x9E";  // "Ölçü ✓ 𝄞"
  ASSERT_TRUE(set_clipboard_text_utf8(text));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(data)), L"\u00D6l\u00E7\u00FC \u2713 \U0001D11E");
  GlobalUnlock(data);
  CloseClipboard();
  qiv::string_buffer output;
  ASSERT_TRUE(get_clipboard_text_utf8(output));
  EXPECT_STREQ(output.get_ptr(), text);
  EXPECT_FALSE(CloseClipboard());  // already closed for other programs
}

} // namespace
