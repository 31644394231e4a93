// Base64 text of embedded pictures and keys: exact sizes, and refusal of
// damaged text before anything is written.
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

// Decodes into a buffer with guard bytes after the announced size, so that a
// size that disagrees with what is written shows up.
std::string decode(const char* text) {
  const std::size_t size = qiv::base64_decoded_size(text);
  std::vector<unsigned char> buffer(size + 8, 0xCC);
  qiv::base64_decode(text, buffer.data());
  for (std::size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xCC) << "written beyond the size";
  return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(Base64, PadsToWholeGroupsAndRoundTripsEveryByteAtEveryLength) {
  EXPECT_EQ(encode("f"), "Zg==");
  EXPECT_EQ(encode("fo"), "Zm8=");
  EXPECT_EQ(encode("foo"), "Zm9v");
  EXPECT_EQ(encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");
  qiv::string_buffer appended("data:");
  qiv::base64_encode(appended, "foo", 3);
  EXPECT_STREQ(appended.get_ptr(), "data:Zm9v");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (std::size_t length = 0; length <= all.size(); ++length)
    ASSERT_EQ(decode(encode(all.substr(0, length)).c_str()), all.substr(0, length)) << "length " << length;
  EXPECT_EQ(decode("QR=="), "A");  // bits after the last whole byte are ignored
  EXPECT_EQ(decode("QUJ="), "AB");
}

TEST(Base64, RefusesBadLengthsPaddingAndCharactersWithoutWritingAnything) {
  const char* refused[] = {
      "Zm9", "Zm9vY", "Zm9vYmE",           // not whole groups
      "Zg=v", "Zg==Zm9v", "Zm9v=m9v",      // padding followed by data
      "A===", "====", "Zm9vA===",          // no whole byte: announcing one would expose unwritten memory
      "Zm9v Zm9", "Zm-_", "Zm\xC3\xA9", "Zm.=",  // outside the alphabet
  };
  for (const char* text : refused) {
    EXPECT_THROW(qiv::base64_decoded_size(text), qiv::exception_invalid_params) << text;
    unsigned char buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    EXPECT_THROW(qiv::base64_decode(text, buffer), qiv::exception_invalid_params) << text;
    for (unsigned char b : buffer) EXPECT_EQ(b, 0xCC) << "refused text wrote output: " << text;
  }
}

} // namespace
