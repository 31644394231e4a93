#include "io/stream_strings.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

TEST(ReadString, ABogusLengthFailsOnTheDataBeforeItIsAllocatedWhole) {
  auto file = io_test::make_model_file(io_test::pattern(100000));
  qiv::string_buffer text;
  EXPECT_THROW(vantrel_io::stream::read_string(*file, 0x7FFFFFFF, io_test::no_abort(), text),
               vantrel_io::exception_io_data);
  // 64 KiB, then the step to 128 KiB, which the data cannot fill.
  ASSERT_EQ(file->reads.size(), 2u);
  EXPECT_EQ(file->reads[1].asked, 65536u);
}

std::string le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

TEST(ReadLengthPrefixedString, ReadsShortAndLongTextsWholeAndFailsOnATruncatedOneLeavingNoPart) {
  std::string long_text(200000, ' ');
  for (std::size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>('a' + i % 26);
  auto file = io_test::make_model_file(le32(5) + "hello" + le32(200000) + long_text + le32(10) + "cut");
  qiv::string_buffer text;
  vantrel_io::stream::read_length_prefixed_string(*file, io_test::no_abort(), text);
  EXPECT_STREQ("hello", text.get_ptr());
  vantrel_io::stream::read_length_prefixed_string(*file, io_test::no_abort(), text);
  EXPECT_EQ(std::string(text.get_ptr(), text.get_length()), long_text);
  EXPECT_THROW(vantrel_io::stream::read_length_prefixed_string(*file, io_test::no_abort(), text),
               vantrel_io::exception_io_data);
  EXPECT_EQ(0u, text.get_length()) << "a text cut short is not handed out in part";

  auto no_length = io_test::make_model_file("ab");
  EXPECT_THROW(vantrel_io::stream::read_length_prefixed_string(*no_length, io_test::no_abort(), text),
               vantrel_io::exception_io_data);
}

}  // namespace
