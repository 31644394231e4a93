#include "foundation/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"

namespace {

std::string encode(const std::string& bytes) {
  qiv::string_buffer out;
  qiv::base64_encode(out, bytes.data(), bytes.size());
  return out.get_ptr();
}

// Decodes into a buffer with guard bytes after the announced size, so that
// a size that disagrees with what is written shows up.
std::string decode(const char* text) {
  const std::size_t size = qiv::base64_decoded_size(text);
  std::vector<unsigned char> buffer(size + 8, 0xCC);
  qiv::base64_decode(text, buffer.data());
  for (std::size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xCC) << "written beyond the size";
  return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
}

void expect_refused(const char* text) {
  EXPECT_THROW(qiv::base64_decoded_size(text), qiv::exception_invalid_params) << '"' << text << '"';
  unsigned char buffer[16];
  std::memset(buffer, 0xCC, sizeof buffer);
  EXPECT_THROW(qiv::base64_decode(text, buffer), qiv::exception_invalid_params) << '"' << text << '"';
  for (unsigned char b : buffer) EXPECT_EQ(b, 0xCC) << "refused text wrote output: \"" << text << '"';
}

TEST(Base64, EncodesTheStandardVectorsWithPadding) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("f"), "Zg==");
  EXPECT_EQ(encode("fo"), "Zm8=");
  EXPECT_EQ(encode("foo"), "Zm9v");
  EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");

  qiv::string_buffer appended("data:");
  qiv::base64_encode(appended, "foo", 3);
  EXPECT_STREQ(appended.get_ptr(), "data:Zm9v");
}

TEST(Base64, RoundTripsEveryByteValueAndLongInput) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (std::size_t length = 0; length <= all.size(); ++length) {
    const std::string bytes = all.substr(0, length);
    ASSERT_EQ(decode(encode(bytes).c_str()), bytes) << "length " << length;
  }
  std::string picture;
  for (int i = 0; i < 5000; ++i) picture += static_cast<char>(i * 7 + i / 256);
  EXPECT_EQ(decode(encode(picture).c_str()), picture);
}

TEST(Base64, IgnoresBitsLeftAfterTheLastWholeByte) {
  EXPECT_EQ(decode("QQ=="), "A");
  EXPECT_EQ(decode("QR=="), "A");
  EXPECT_EQ(decode("QUJ="), "AB");
}

TEST(Base64, RefusesBadLengthsAndMisplacedPadding) {
  expect_refused("Zm9");
  expect_refused("Zm9vY");
  expect_refused("Zm9vYmE");
  expect_refused("Zg=v");
  expect_refused("Zg==Zm9v");
  expect_refused("Zm9v=m9v");
}

// One character and three "=" carry no whole byte: announcing one would let
// the caller read a byte nobody wrote.
TEST(Base64, RefusesMoreThanTwoPaddingCharacters) {
  expect_refused("A===");
  expect_refused("====");
  expect_refused("Zm9vA===");
}

TEST(Base64, RefusesCharactersOutsideTheAlphabet) {
  expect_refused("Zm9v Zm9");
  expect_refused("Zm-_");
  expect_refused("Zm\xC3\xA9");
  expect_refused("Zm.=");
}

} // namespace
