// Walking a track's samples: file offsets through chunks, decode and
// presentation times, and the lookup of a sample by time.
#include <gtest/gtest.h>

#include "inputs/mp4/sample_iterator.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_parameters.h"

using tarnex::sample_iterator;

namespace {

tarnex::track_ptr make_track(std::vector<std::uint32_t> sizes, std::vector<tarnex::time_to_sample_entry> times,
                             std::vector<tarnex::sample_to_chunk_entry> chunks, std::vector<std::uint64_t> offsets) {
  tarnex::track_ptr track = new tarnex::mp4_track;
  track->kind = tarnex::kind_aac;
  track->time_scale = 1000;
  track->sample_sizes = std::move(sizes);
  track->time_to_sample = std::move(times);
  for (const auto& run : track->time_to_sample) track->sample_count += run.sample_count;
  track->sample_to_chunk = std::move(chunks);
  track->chunk_offsets = std::move(offsets);
  return track;
}

struct walked {
  std::uint64_t offset, time;
  std::uint32_t size, duration;
  bool operator==(const walked&) const = default;
};

std::vector<walked> walk_all(const tarnex::track_ptr& track) {
  std::vector<walked> out;
  sample_iterator it(track);
  it.position(0);
  do {
    const auto where = it.locate();
    out.push_back({where.file_offset, where.presentation_time, where.size, where.duration});
  } while (it.advance());
  return out;
}

}  // namespace

TEST(Mp4SampleIterator, WalksChunksRunsAndSizes) {
  // Chunks 1-2 hold 2 samples each, chunk 3 onwards 1 each.
  const auto track = make_track({10, 20, 30, 40, 50, 60}, {{3, 100}, {0, 7}, {3, 200}}, {{1, 2, 1}, {3, 1, 1}},
                                {1000, 2000, 3000, 4000});
  const std::vector<walked> expected = {{1000, 0, 10, 100},   {1010, 100, 20, 100}, {2000, 200, 30, 100},
                                        {2030, 300, 40, 200}, {3000, 500, 50, 200}, {4000, 700, 60, 200}};
  EXPECT_EQ(walk_all(track), expected);
  // Placing the iterator directly agrees with walking to the sample.
  for (std::uint32_t n = 0; n < 6; ++n) {
    sample_iterator it(track);
    it.position(n);
    const auto where = it.locate();
    EXPECT_EQ((walked{where.file_offset, where.presentation_time, where.size, where.duration}), expected[n]) << n;
  }
}

TEST(Mp4SampleIterator, DegenerateChunkTables) {
  // No samples per chunk: everything in chunk 1. Chunks past the offset
  // table reuse its last offset; no offsets at all give 8.
  EXPECT_EQ(walk_all(make_track({1, 2, 3}, {{3, 1}}, {{1, 0, 1}}, {500}))[2].offset, 503u);
  EXPECT_EQ(walk_all(make_track({1, 2, 3}, {{3, 1}}, {{1, 1, 1}}, {500, 600}))[2].offset, 600u);
  EXPECT_EQ(walk_all(make_track({1, 2}, {{2, 1}}, {}, {}))[1].offset, 9u);
  // First chunks that go backwards do not send the walk astray.
  const auto backwards = walk_all(make_track({5, 5, 5}, {{3, 1}}, {{3, 1, 1}, {2, 1, 1}}, {10, 20, 30}));
  EXPECT_EQ(backwards.size(), 3u);
}

TEST(Mp4SampleIterator, CompositionOffsetsShiftPresentationOnly) {
  auto track = make_track({1, 1, 1, 1}, {{4, 10}}, {{1, 4, 1}}, {0});
  track->composition_offsets = {{2, 5}, {0, 99}, {1, 0}};
  const auto samples = walk_all(track);
  EXPECT_EQ(samples[0].time, 5u);
  EXPECT_EQ(samples[1].time, 15u);
  EXPECT_EQ(samples[2].time, 20u) << "an empty run is stepped over";
  EXPECT_EQ(samples[3].time, 30u) << "past the last run the offset is 0";
  EXPECT_EQ(tarnex::start_delay(*track), 5u);
  track->kind = tarnex::kind_alac;
  EXPECT_EQ(tarnex::start_delay(*track), 0u) << "only AAC declares its delay this way";
}

TEST(Mp4SampleIterator, IndexesOutsideTheTablesThrow) {
  const auto track = make_track({1, 2}, {{3, 1}}, {{1, 3, 1}}, {0});
  sample_iterator it(track);
  EXPECT_THROW(it.position(3), tarnex::exception_out_of_range);
  it.position(1);
  ASSERT_TRUE(it.advance());
  EXPECT_THROW(it.locate(), tarnex::exception_out_of_range) << "the size table holds only two samples";
}

TEST(Mp4SampleAtMediaTime, FindsTheSampleAndTheRemainder) {
  const auto track = make_track({}, {{2, 100}, {0, 5}, {3, 50}}, {}, {});
  const auto at = [&](std::uint64_t t) {
    const auto found = tarnex::sample_at_media_time(*track, t);
    return std::make_pair(found.sample, found.remainder);
  };
  EXPECT_EQ(at(0), std::make_pair(0u, std::uint64_t(0)));
  EXPECT_EQ(at(199), std::make_pair(1u, std::uint64_t(99)));
  EXPECT_EQ(at(200), std::make_pair(2u, std::uint64_t(0)));
  EXPECT_EQ(at(349), std::make_pair(4u, std::uint64_t(49)));
  EXPECT_THROW(tarnex::sample_at_media_time(*track, 350), tarnex::exception_out_of_range);
}

TEST(Mp4TrackParameters, BitRateFromTheSamplesUnlessTheDurationIsUnknown) {
  auto track = make_track({1000, 3000}, {{2, 500}}, {}, {});
  track->media_duration = 1000;  // one second at time scale 1000
  track->average_bitrate = 77;
  EXPECT_EQ(tarnex::get_track_parameters(*track).average_bitrate, 32000u);
  track->media_duration = tarnex::duration_not_given;
  EXPECT_EQ(tarnex::get_track_parameters(*track).average_bitrate, 77u);
}
