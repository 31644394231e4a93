#include "io/stream_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

TEST(ReadString, ReadsExactlyTheCount) {
  auto file = make_model_file("hello world");
  qiv::string_buffer text;
  stream::read_string(*file, 5, no_abort(), text);
  EXPECT_STREQ(text.get_ptr(), "hello");
  EXPECT_THROW(stream::read_string(*file, 10, no_abort(), text), exception_io_data);
}

TEST(ReadString, ABogusLengthFailsOnTheDataBeforeItIsAllocatedWhole) {
  auto file = make_model_file(std::string(100000, 'a'));
  qiv::string_buffer text;
  EXPECT_THROW(stream::read_string(*file, 200000, no_abort(), text), exception_io_data);
  // 64 KiB, then the step to 128 KiB, which the data cannot fill.
  ASSERT_GE(file->read_requests.size(), 2u);
  EXPECT_EQ(file->read_requests[0], 65536u);
  EXPECT_EQ(file->read_requests[1], 65536u);
}

TEST(ReadString, LongTextsArriveWhole) {
  std::string content;
  for (int i = 0; i < 300001; ++i) content += static_cast<char>('a' + i % 26);
  auto file = make_model_file(content);
  qiv::string_buffer text;
  stream::read_string(*file, 300001, no_abort(), text);
  EXPECT_EQ(std::string(text.get_ptr(), text.get_length()), content);
}

TEST(ReadString, LengthPrefixedStringsUseALittleEndianCount) {
  auto file = make_model_file(std::string("\x03\x00\x00\x00" "abcdef", 10));
  qiv::string_buffer text;
  stream::read_length_prefixed_string(*file, no_abort(), text);
  EXPECT_STREQ(text.get_ptr(), "abc");
  auto short_file = make_model_file(std::string("\x10\x00\x00\x00" "abc", 7));
  EXPECT_THROW(stream::read_length_prefixed_string(*short_file, no_abort(), text), exception_io_data);
}

TEST(ReadString, ReadAllStopsAtTheFirstShortRead) {
  auto file = make_model_file(std::string(512, 'z'));
  qiv::string_buffer text("old");
  stream::read_all_to_string(*file, no_abort(), text);
  EXPECT_EQ(text.get_length(), 512u);
  EXPECT_EQ(file->read_requests, (std::vector<std::uint32_t>{256, 256, 256}));
}

}  // namespace
