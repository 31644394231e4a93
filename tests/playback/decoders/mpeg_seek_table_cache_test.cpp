#include "playback/decoders/mpeg_seek_table_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace cache = mpeg_seek_table_cache;

namespace {

std::uint64_t point_frame(std::uint32_t id, std::uint64_t frame) {
  cache::point p;
  return cache::lookup(id, frame, p) ? p.frame : ~0ull;
}

TEST(MpegSeekTableCache, KeepsOnePointPer32Frames) {
  const std::uint32_t id = cache::find_or_create("a.mp3", 1);
  EXPECT_EQ(point_frame(id, 70), ~0ull) << "a fresh table";
  for (std::uint64_t f = 0; f <= 100; ++f) cache::store(id, f * 417, f);
  const struct {
    std::uint64_t frame, expected;
  } cases[] = {{0, 0}, {31, 0}, {32, 32}, {70, 64}, {96, 96}, {1000, 96}};
  for (const auto& c : cases) EXPECT_EQ(point_frame(id, c.frame), c.expected) << c.frame;
  cache::point p;
  ASSERT_TRUE(cache::lookup(id, 70, p));
  EXPECT_EQ(p.offset, 64u * 417);

  const std::uint32_t other = cache::find_or_create("b.mp3", 1);
  cache::store(other, 0, 0);
  cache::store(other, 0, 32);
  cache::store(other, 0, 40);  // 8 after 32
  cache::store(other, 0, 16);  // between 0 and 32
  cache::store(other, 0, 80);
  cache::store(other, 0, 60);  // 28 before 80
  EXPECT_EQ(point_frame(other, 79), 32u);
  EXPECT_EQ(point_frame(other, 45), 32u);
}

TEST(MpegSeekTableCache, FilesAreKeyedByPathAndTimestamp) {
  const std::uint32_t id = cache::find_or_create("c.mp3", 5);
  cache::store(id, 0, 0);
  EXPECT_EQ(cache::find_or_create("c.mp3", 5), id);
  EXPECT_NE(cache::find_or_create("C.mp3", 5), id) << "paths compare with case";
  const std::uint32_t rewritten = cache::find_or_create("c.mp3", 6);
  EXPECT_NE(rewritten, id);
  EXPECT_EQ(point_frame(rewritten, 0), ~0ull) << "a rewritten file starts empty";
}

TEST(MpegSeekTableCache, EvictsTheLeastRecentlyUsed) {
  const std::uint32_t oldest = cache::find_or_create("evict-0", 0);
  cache::store(oldest, 0, 0);
  std::uint32_t kept = cache::find_or_create("evict-1", 0);
  cache::store(kept, 0, 0);
  for (int i = 2; i < 10; ++i) cache::find_or_create("evict-" + std::to_string(i), 0);
  cache::store(oldest, 0, 0);  // used again: now "evict-1" is the oldest
  cache::find_or_create("evict-10", 0);
  EXPECT_EQ(point_frame(oldest, 0), 0u);
  EXPECT_EQ(point_frame(kept, 0), ~0ull) << "an evicted id finds nothing";
  cache::store(kept, 0, 0);
  EXPECT_EQ(point_frame(kept, 0), ~0ull) << "and stores nothing";
}

}  // namespace
