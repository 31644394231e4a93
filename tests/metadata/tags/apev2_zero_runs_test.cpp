#include "metadata/tags/apev2_zero_runs.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void append_le32(apev2::byte_vector& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(value >> shift));
}

// 268 bytes read either as one item "KKK" of 256 bytes, or as an item "KK"
// of one byte starting a byte later (the first item's size begins with a
// zero), a run of zeros and an empty item "TT": one item or two.
apev2::byte_vector item_read_two_ways() {
  apev2::byte_vector out;
  append_le32(out, 256);
  append_le32(out, 0);
  for (const char c : {'K', 'K', 'K', '\0', 'x'}) out.push_back(std::uint8_t(c));
  out.insert(out.end(), 244, 0);
  out.insert(out.end(), 8, 0);
  for (const char c : {'T', 'T', '\0'}) out.push_back(std::uint8_t(c));
  return out;
}

// Many such items, then `zeros` zero bytes; the count is one no reading
// meets, so the search tries every reading it may.
std::size_t bytes_examined_reading(std::size_t zeros) {
  constexpr std::size_t items = 120;
  apev2::byte_vector area;
  for (std::size_t n = 0; n < items; ++n) {
    const apev2::byte_vector one = item_read_two_ways();
    area.insert(area.end(), one.begin(), one.end());
  }
  area.insert(area.end(), zeros, 0);
  apev2::item_list read;
  std::size_t examined = 0;
  EXPECT_FALSE(apev2::parse_items_across_zero_runs(area.data(), area.size(), apev2::version_2, 3 * items, read,
                                                   &examined));
  EXPECT_TRUE(read.empty());
  return examined;
}

}  // namespace

TEST(Apev2ZeroRuns, AHostileAreaCostsTimeLinearInItsSize) {
  // Every try of an earlier search scanned the whole run of zeros again:
  // the cost grew with the run times the tries.
  constexpr std::size_t run = 1 << 20;
  const std::size_t shorter = bytes_examined_reading(run);
  const std::size_t longer = bytes_examined_reading(2 * run);
  EXPECT_LE(longer, shorter + 2 * run);
}

TEST(Apev2ZeroRuns, BothReadingsOfAnAmbiguousItemAreFound) {
  const apev2::byte_vector one = item_read_two_ways();
  apev2::byte_vector area = one;
  area.insert(area.end(), one.begin(), one.end());
  area.insert(area.end(), 100, 0);
  for (const std::uint32_t count : {2u, 3u, 4u}) {
    apev2::item_list read;
    ASSERT_TRUE(apev2::parse_items_across_zero_runs(area.data(), area.size(), apev2::version_2, count, read))
        << count;
    EXPECT_EQ(count, read.size());
  }
  apev2::item_list read;
  EXPECT_FALSE(apev2::parse_items_across_zero_runs(area.data(), area.size(), apev2::version_2, 5, read));
}
