#include "foundation/clipboard_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/string_buffer.h"

namespace {

// "Ölçü ✓ 𝄞": characters of two, three and four bytes.
constexpr const char* mixed_text = "\xC3\x96l\xC3\xA7\xC3\xBC \xE2\x9C\x93 \xF0\x9D\x84\x9E";
constexpr const wchar_t* mixed_wide = L"\u00D6l\u00E7\u00FC \u2713 \U0001D11E";

// Puts a global memory block on the clipboard as Unicode text, as another
// program would.
bool put_unicode_block(HGLOBAL memory) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  return placed;
}

TEST(ClipboardText, TextRoundTripsAsUnicodeText) {
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
  // Both calls left the clipboard closed for other programs.
  EXPECT_FALSE(CloseClipboard());
}

TEST(ClipboardText, ReadingStopsAtTheTerminatorInsideTheBlock) {
  // Blocks are often larger than their text.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 64 * sizeof(wchar_t));
  ASSERT_NE(memory, nullptr);
  auto* units = static_cast<wchar_t*>(GlobalLock(memory));
  std::memset(units, 0, 64 * sizeof(wchar_t));
  wcscpy(units, L"short");
  units[10] = L'x';
  GlobalUnlock(memory);
  ASSERT_TRUE(put_unicode_block(memory));

  qiv::string_buffer output;
  ASSERT_TRUE(get_clipboard_text_utf8(output));
  EXPECT_STREQ(output.get_ptr(), "short");
}

TEST(ClipboardText, ClipboardWithoutUnicodeTextGivesFalseAndKeepsTheOutput) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  qiv::string_buffer output("unchanged");
  EXPECT_FALSE(get_clipboard_text_utf8(output));
  EXPECT_STREQ(output.get_ptr(), "unchanged");
}

TEST(ClipboardText, UnlockableBlockGivesFalseAndKeepsTheOutput) {
  // A movable block of size 0 is born discarded: GlobalLock answers null.
  // (Wine refuses such a block as clipboard data, so it is read directly.)
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(memory, nullptr);
  ASSERT_EQ(GlobalLock(memory), nullptr);
  qiv::string_buffer output("unchanged");
  EXPECT_FALSE(get_global_text_utf8(memory, output));
  EXPECT_STREQ(output.get_ptr(), "unchanged");
  GlobalFree(memory);
}

} // namespace
