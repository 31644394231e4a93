// The system's error messages as one line of text.
#include "core/system_message_text.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"

namespace {

std::string as_line(const wchar_t* message, std::size_t max_units = 512) {
  qiv::string_buffer out;
  system_message_to_line(message, max_units, out);
  return out.get_ptr();
}

}  // namespace

TEST(SystemMessage, TrailingLineBreaksAreDroppedAndInnerBreaksBecomeBlanks) {
  EXPECT_EQ(as_line(L"Access is denied.\r\n"), "Access is denied.");
  EXPECT_EQ(as_line(L" The file\r\nis in use \x2026\t \r\n"), " The file  is in use \xE2\x80\xA6");
  EXPECT_EQ(as_line(L"\r\n"), "");
  EXPECT_EQ(as_line(L"abcdef", 3), "abc");
}

TEST(SystemMessage, AnUnknownCodeLeavesTheOutputAlone) {
  qiv::string_buffer text("kept");
  EXPECT_FALSE(format_system_message_utf8(text, 0x2FFFFFFF));
  EXPECT_STREQ(text.get_ptr(), "kept");
  ASSERT_TRUE(format_system_message_utf8(text, 5));
  EXPECT_EQ(std::string(text.get_ptr()).find_first_of("\r\n"), std::string::npos);
}
