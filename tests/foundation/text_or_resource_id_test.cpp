#include "foundation/text_or_resource_id.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(TextOrResourceId, NullAndIntegerIdsPassUnchanged) {
  EXPECT_EQ(text_or_resource_id(nullptr).get(), nullptr);
  const char* id = MAKEINTRESOURCEA(234);
  EXPECT_EQ(text_or_resource_id(id).get(), reinterpret_cast<const wchar_t*>(id));
  const char* largest_id = MAKEINTRESOURCEA(0xFFFF);
  EXPECT_EQ(text_or_resource_id(largest_id).get(), reinterpret_cast<const wchar_t*>(largest_id));
}

TEST(TextOrResourceId, TextIsConvertedAndAnEmptyTextStaysAText) {
  const text_or_resource_id empty("");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_STREQ(empty.get(), L"");
  // "Åsa 🎵"
  EXPECT_STREQ(text_or_resource_id("\xC3\x85sa \xF0\x9F\x8E\xB5").get(), L"\u00C5sa \U0001F3B5");
}

TEST(TextOrResourceId, ANameThatIsNotUtf8NeverShortensIntoAnotherName) {
  // A Latin-1 byte from an old playlist must not turn "Café Song.mp3" into "Caf".
  EXPECT_STREQ(text_or_resource_id("C:\\Music\\Caf\xE9 Song.mp3").get(), L"C:\\Music\\Caf\uFFFD Song.mp3");
  // Beyond UTF-16: not the '?' that file searches read as a wildcard.
  EXPECT_STREQ(text_or_resource_id("a\xF8\x88\x80\x80\x80" "b").get(), L"a\uFFFDb");
}

} // namespace
