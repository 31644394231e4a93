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

// Decodes into a buffer with guard bytes on both sides, so a write beyond
// the announced size shows up.
std::string decode(const char* text) {
  const std::size_t size = qiv::base64_decoded_size(text);
  std::vector<unsigned char> buffer(size + 16, 0xCC);
  qiv::base64_decode(text, buffer.data() + 8);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(buffer[i], 0xCC) << "write before the output";
    EXPECT_EQ(buffer[size + 8 + i], 0xCC) << "write beyond the announced size";
  }
  return std::string(buffer.begin() + 8, buffer.begin() + 8 + size);
}

void expect_refused(const char* text) {
  EXPECT_THROW(qiv::base64_decoded_size(text), qiv::exception_invalid_params) << '"' << text << '"';
  unsigned char buffer[16];
  std::memset(buffer, 0xCC, sizeof buffer);
  EXPECT_THROW(qiv::base64_decode(text, buffer), qiv::exception_invalid_params) << '"' << text << '"';
  for (unsigned char b : buffer) EXPECT_EQ(b, 0xCC) << "refused text must write nothing: \"" << text << '"';
}

TEST(Base64, EncodesTheStandardVectorsWithPadding) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("f"), "Zg==");
  EXPECT_EQ(encode("fo"), "Zm8=");
  EXPECT_EQ(encode("foo"), "Zm9v");
  EXPECT_EQ(encode("foob"), "Zm9vYg==");
  EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");
}

TEST(Base64, EncodingAppendsToExistingText) {
  qiv::string_buffer out("data:");
  qiv::base64_encode(out, "foo", 3);
  EXPECT_STREQ(out.get_ptr(), "data:Zm9v");
}

TEST(Base64, RoundTripsEveryByteValueAndLongInput) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (std::size_t length = 0; length <= all.size(); ++length) {
    const std::string bytes = all.substr(0, length);
    ASSERT_EQ(decode(encode(bytes).c_str()), bytes) << "length " << length;
  }
  std::string long_input;
  for (int i = 0; i < 5000; ++i) long_input += static_cast<char>(i * 7 + i / 256);
  const std::string text = encode(long_input);
  EXPECT_EQ(text.size(), (long_input.size() + 2) / 3 * 4);
  EXPECT_EQ(decode(text.c_str()), long_input);
}

TEST(Base64, DecodedSizeMatchesTheBytesWritten) {
  EXPECT_EQ(qiv::base64_decoded_size(""), 0u);
  EXPECT_EQ(qiv::base64_decoded_size("Zg=="), 1u);
  EXPECT_EQ(qiv::base64_decoded_size("Zm8="), 2u);
  EXPECT_EQ(qiv::base64_decoded_size("Zm9vYmFy"), 6u);
  EXPECT_EQ(decode("Zm9vYg=="), "foob");
  EXPECT_EQ(decode(""), "");
}

TEST(Base64, IgnoresBitsLeftAfterTheLastWholeByte) {
  EXPECT_EQ(decode("QQ=="), "A");
  EXPECT_EQ(decode("QR=="), "A");
  EXPECT_EQ(decode("QUI="), "AB");
  EXPECT_EQ(decode("QUJ="), "AB");
}

TEST(Base64, RefusesLengthsThatAreNoMultipleOfFour) {
  expect_refused("Zm9");
  expect_refused("Zm9vY");
  expect_refused("Zm9vYmE");
}

TEST(Base64, RefusesPaddingThatDoesNotEndTheText) {
  expect_refused("Zg=v");
  expect_refused("Z=g=");
  expect_refused("Zg==Zm9v");
  expect_refused("Zm9v=m9v");
}

// One character and three "=" carry no whole byte; announcing one would let
// the caller read a byte nobody wrote.
TEST(Base64, RefusesMoreThanTwoPaddingCharacters) {
  expect_refused("A===");
  expect_refused("====");
  expect_refused("Zm9vA===");
}

TEST(Base64, RefusesCharactersOutsideTheAlphabet) {
  expect_refused("Zm9v Zm9");
  expect_refused("Zm-_");
  expect_refused("Zm9\n");
  expect_refused("Zm\xC3\xA9");
  expect_refused("Zm.=");
}

} // namespace
