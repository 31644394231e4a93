#include "io/stream_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;

TEST(ReadString, ReadsExactlyTheCountOrFailsOnShortData) {
  std::string long_text(300001, 'a');
  for (std::size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>('a' + i % 26);
  const struct {
    std::string content;
    std::size_t count;
    bool fits;
  } cases[] = {
      {"hello world", 5, true},
      {"hello", 10, false},
      {long_text, 300001, true},  // read in growing steps, arriving whole
      {long_text, 300002, false},
  };
  for (const auto& c : cases) {
    auto file = make_model_file(c.content);
    qiv::string_buffer text;
    if (c.fits) {
      stream::read_string(*file, c.count, no_abort(), text);
      EXPECT_TRUE(std::string(text.get_ptr(), text.get_length()) == c.content.substr(0, c.count)) << c.count;
    } else {
      EXPECT_THROW(stream::read_string(*file, c.count, no_abort(), text), exception_io_data) << c.count;
    }
  }
}

TEST(ReadString, ABogusLengthFailsOnTheDataBeforeItIsAllocatedWhole) {
  auto file = make_model_file(std::string(100000, 'a'));
  qiv::string_buffer text;
  EXPECT_THROW(stream::read_string(*file, 0x7FFFFFFF, no_abort(), text), exception_io_data);
  // 64 KiB, then the step to 128 KiB, which the data cannot fill.
  ASSERT_EQ(file->reads.size(), 2u);
  EXPECT_EQ(file->reads[1].asked, 65536u);
}

TEST(ReadString, LengthPrefixedAndReadAll) {
  auto file = make_model_file(std::string("\x03\x00\x00\x00" "abcdef", 10));
  qiv::string_buffer text;
  stream::read_length_prefixed_string(*file, no_abort(), text);
  EXPECT_STREQ(text.get_ptr(), "abc");
  auto short_file = make_model_file(std::string("\x10\x00\x00\x00" "abc", 7));
  EXPECT_THROW(stream::read_length_prefixed_string(*short_file, no_abort(), text), exception_io_data);

  auto whole = make_model_file(std::string(512, 'z'));
  stream::read_all_to_string(*whole, no_abort(), text);
  EXPECT_EQ(text.get_length(), 512u);
  EXPECT_EQ(whole->reads.size(), 3u);  // the third, empty read shows the end
}

}  // namespace
