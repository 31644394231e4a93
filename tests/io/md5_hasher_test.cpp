// MD5 through CryptoAPI gives the standard digests, however the data is fed.
#include <gtest/gtest.h>

#include <string>

#include "io/md5_hasher.h"

namespace {

std::string hex(const vantrel_io::md5_digest& digest) {
  std::string text;
  for (std::uint8_t byte : digest.bytes) {
    const char digits[] = "0123456789abcdef";
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

TEST(Md5Hasher, GivesTheStandardDigests) {
  vantrel_io::md5_hasher empty;
  EXPECT_EQ(hex(empty.finish()), "d41d8cd98f00b204e9800998ecf8427e");
  vantrel_io::md5_hasher abc;
  abc.update("abc", 3);
  EXPECT_EQ(hex(abc.finish()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Hasher, PiecesHashLikeTheWhole) {
  vantrel_io::md5_hasher pieces;
  pieces.update("message ", 8);
  pieces.update("", 0);
  pieces.update("digest", 6);
  EXPECT_EQ(hex(pieces.finish()), "f96b697d7cb7938d525a2f31aaf161d0");
}

} // namespace
