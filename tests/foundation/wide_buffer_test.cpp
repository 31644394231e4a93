#include "foundation/wide_buffer.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <new>

namespace {

TEST(WideBuffer, SizeIsExactlyWhatWasAskedAndZeroFrees) {
  qiv::wide_buffer buffer;
  EXPECT_STREQ(buffer.get_ptr(), L"");
  buffer.set_size(5);
  EXPECT_EQ(buffer.get_size(), 5u);
  std::wmemcpy(buffer.get_buffer(), L"abcd", 5);
  buffer.set_size(3);  // contents kept up to the smaller size
  EXPECT_EQ(std::wmemcmp(buffer.get_buffer(), L"abc", 3), 0);
  buffer.set_size(0);
  EXPECT_EQ(buffer.get_buffer(), nullptr);
  EXPECT_STREQ(buffer.get_ptr(), L"");
  EXPECT_EQ(buffer.text_length(), 0u);
}

TEST(WideBuffer, SizeWhoseByteCountWrapsThrowsBadAlloc) {
  qiv::wide_buffer buffer;
  buffer.set_size(2);
  EXPECT_THROW(buffer.set_size(0x80000000u), std::bad_alloc);
  EXPECT_EQ(buffer.get_size(), 2u);
}

TEST(WideBuffer, Utf8ConvertsIntoAnExactlySizedBuffer) {
  const qiv::wide_buffer text = qiv::string_to_wide("Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_STREQ(text.get_ptr(), L"Gr\u00FC\u00DFe");
  EXPECT_EQ(text.get_size(), 6u);

  const qiv::wide_buffer emoji = qiv::string_to_wide("\xF0\x9F\x98\x80");
  EXPECT_EQ(emoji.get_size(), 3u);
  EXPECT_EQ(emoji.get_ptr()[0], 0xD83D);
  EXPECT_EQ(emoji.get_ptr()[1], 0xDE00);

  const qiv::wide_buffer empty = qiv::string_to_wide("");
  EXPECT_EQ(empty.get_size(), 1u);
  EXPECT_STREQ(empty.get_ptr(), L"");
}

TEST(WideBuffer, LimitedConversionTakesOnlyTheGivenBytes) {
  const qiv::wide_buffer text = qiv::utf8_to_wide_buffer("abcdef", 3);
  EXPECT_STREQ(text.get_ptr(), L"abc");
  EXPECT_EQ(text.get_size(), 4u);
  // A limit inside a sequence drops the cut character.
  const qiv::wide_buffer cut = qiv::utf8_to_wide_buffer("a\xC3\xBC", 2);
  EXPECT_STREQ(cut.get_ptr(), L"a");
}

TEST(WideBuffer, AssignFromItsOwnTextWorks) {
  qiv::wide_buffer buffer;
  buffer.assign(L"hello world", 11);
  EXPECT_STREQ(buffer.get_ptr(), L"hello world");
  EXPECT_EQ(buffer.text_length(), 11u);
  buffer.assign(buffer.get_ptr() + 6, 5);
  EXPECT_STREQ(buffer.get_ptr(), L"world");
  EXPECT_EQ(buffer.get_size(), 6u);
}

TEST(WideBuffer, TextLengthStaysInsideAnUnterminatedBuffer) {
  qiv::wide_buffer buffer;
  buffer.set_size(4);
  std::wmemcpy(buffer.get_buffer(), L"wxyz", 4);
  EXPECT_EQ(buffer.text_length(), 4u);
  buffer.get_buffer()[2] = L'\0';
  EXPECT_EQ(buffer.text_length(), 2u);
}

} // namespace
