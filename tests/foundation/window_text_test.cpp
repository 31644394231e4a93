// Window text in UTF-8.
#include "foundation/window_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"

namespace {

TEST(WindowText, TextOutsideTheBasicPlaneSurvivesBothDirections) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  qiv::string_buffer output("stale");
  EXPECT_TRUE(get_window_text_utf8(edit, output));  // an empty control empties the output
  EXPECT_STREQ(output.get_ptr(), "");
  // "Grüße ✓ 𝄞": two-byte, three-byte and four-byte (surrogate pair) characters.
  const char* text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9D\x84\x9E";
  ASSERT_TRUE(set_window_text_utf8(edit, text));
  wchar_t wide[64] = {};
  GetWindowTextW(edit, wide, 64);
  EXPECT_STREQ(wide, L"Gr\u00FC\u00DFe \u2713 \U0001D11E");
  ASSERT_TRUE(get_window_text_utf8(edit, output));
  EXPECT_STREQ(output.get_ptr(), text);
  DestroyWindow(edit);
}

} // namespace
