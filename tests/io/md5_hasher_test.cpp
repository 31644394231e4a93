// MD5 through CryptoAPI gives the standard digests, however the data is fed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/md5_hasher.h"

namespace {

TEST(Md5Hasher, GivesTheStandardDigestsWholeOrInPieces) {
  const struct {
    std::vector<std::string> pieces;
    const char* digest;
  } cases[] = {
      {{}, "d41d8cd98f00b204e9800998ecf8427e"},
      {{"abc"}, "900150983cd24fb0d6963f7d28e17f72"},
      {{"message ", "", "digest"}, "f96b697d7cb7938d525a2f31aaf161d0"},
  };
  for (const auto& c : cases) {
    vantrel_io::md5_hasher hasher;
    for (const std::string& piece : c.pieces) hasher.update(piece.data(), piece.size());
    std::string hex;
    for (std::uint8_t byte : hasher.finish().bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    EXPECT_EQ(hex, c.digest);
  }
}

}  // namespace
