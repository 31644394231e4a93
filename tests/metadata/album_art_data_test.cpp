#include "metadata/album_art_data.h"

#include <gtest/gtest.h>

namespace {

constexpr GUID type(std::uint8_t n) { return {0x10000000u * n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}}; }

// A replaced picture's reference is given back, and a type the map lacks
// leaves the caller's reference as it was.
TEST(AlbumArtMap, OnePicturePerTypeAndAbsentTypesLeaveTheCallersReference) {
  album_art_map map;
  const album_art_data_ptr front = album_art_data::create_from_buffer("front", 5);
  const album_art_data_ptr empty = album_art_data::create_from_buffer(nullptr, 0);
  for (std::uint8_t n = 1; n <= 3; ++n) map.set(type(n), front);
  map.set(type(2), empty);
  EXPECT_EQ(map.count(), 3u);
  EXPECT_EQ(front->ref_count(), 3);

  album_art_data_ptr out = front;
  EXPECT_TRUE(map.get(type(2), out));
  EXPECT_EQ(out->get_size(), 0u);
  EXPECT_FALSE(map.get(type(9), out));
  EXPECT_EQ(out.get(), empty.get());
  EXPECT_TRUE(map.remove(type(2)));
  EXPECT_FALSE(map.remove(type(2)));
  EXPECT_EQ(map.count(), 2u);
}

}  // namespace
