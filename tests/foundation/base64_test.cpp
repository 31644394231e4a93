// Base64 text: damaged text is refused before anything is written.
#include "foundation/base64.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/exceptions.h"

namespace {

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
