// Word-at-a-time searches and comparisons answer as a byte-by-byte loop would,
// wherever the byte or the difference lies and however the block is aligned.
#include "foundation/byte_scan.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteScan, FindsTheFirstMatchAtEveryPositionAndAlignment) {
  // Neighbours that differ from the value by one bit or carry into the next
  // byte must not be taken for it.
  for (int value : {0x00, 0xFF, 0x80, 0x01}) {
    for (std::size_t offset = 0; offset < 4; ++offset) {
      for (std::size_t size = 0; size <= 19; ++size) {
        for (std::size_t at = 0; at <= size; ++at) {
          std::vector<std::uint8_t> block(offset + size + 4, std::uint8_t(value));
          for (std::size_t i = 0; i < size; ++i) block[offset + i] = std::uint8_t(value ^ (i % 2 ? 0x01 : 0x80));
          if (at < size) block[offset + at] = std::uint8_t(value);
          const std::uint8_t* from = block.data() + offset;
          EXPECT_EQ(qiv::find_byte(from, from + size, std::uint8_t(value)) - from, std::ptrdiff_t(at))
              << "value " << value << " offset " << offset << " size " << size;
        }
      }
    }
  }
}

TEST(ByteScan, FindsTheOuterDifferencesOfTwoBlocks) {
  for (std::size_t size = 0; size <= 21; ++size) {
    for (std::size_t first = 0; first <= size; ++first) {
      for (std::size_t last = first; last < size || (last == first && first == size); ++last) {
        std::vector<std::uint8_t> a(size + 1, 0x5A), b(size + 1, 0x5A);
        const bool differs = first < size;
        if (differs) {
          b[1 + first] ^= 0x10;
          b[1 + last] ^= 0x01;
        }
        // Compared one byte in, so that the words straddle the alignment.
        EXPECT_EQ(qiv::first_difference(a.data() + 1, b.data() + 1, size), differs ? first : size) << size;
        EXPECT_EQ(qiv::last_difference_end(a.data() + 1, b.data() + 1, size), differs ? last + 1 : 0) << size;
        if (!differs) break;
      }
    }
  }
}

}  // namespace
