// Movie fragments merged into their tracks: found by the track's own ID,
// continuing the samples of the movie box, and runs that promise more
// samples than the file could hold.
#include <gtest/gtest.h>

#include "inputs/mp4/sample_iterator.h"
#include "tests/inputs/mp4/mp4_test_boxes.h"

using namespace mp4_test;

namespace {

bytes trex(std::uint32_t id, std::uint32_t duration = 1024, std::uint32_t size = 0) {
  return full_box("trex", 0, be32(id) + be32(1) + be32(duration) + be32(size) + be32(0));
}
bytes tfhd(std::uint32_t id, std::uint32_t flags = 0x20000, const bytes& fields = "") {
  return full_box("tfhd", flags, be32(id) + fields);
}
// A run with its own data offset and one size per sample.
bytes trun(std::int32_t data_offset, std::initializer_list<std::uint32_t> sizes) {
  bytes out = be32(std::uint32_t(sizes.size())) + be32(std::uint32_t(data_offset));
  for (auto size : sizes) out += be32(size);
  return full_box("trun", 0x201, out);
}
// A run that continues after the previous one.
bytes trun_continuing(std::initializer_list<std::uint32_t> sizes) {
  bytes out = be32(std::uint32_t(sizes.size()));
  for (auto size : sizes) out += be32(size);
  return full_box("trun", 0x200, out);
}
bytes moof(const bytes& trafs) { return box("moof", full_box("mfhd", 0, be32(1)) + trafs); }

// A fragmented file whose moov holds `moov_tables` for a track of ID `id`.
bytes fragmented(std::uint32_t id, const bytes& moov_tables, const bytes& fragments, std::uint32_t movie_duration = 0,
                 std::uint32_t media_duration = 0) {
  return ftyp() + box("moov", mvhd(1000, movie_duration) +
                                  trak(id, 44100, media_duration, audio_entry("mp4a", 2, 44100, esds()), moov_tables) +
                                  box("mvex", trex(id))) +
         fragments;
}

const bytes empty_tables = stts({}) + stsz(0, {}) + stsc({}) + stco({});

std::vector<std::pair<std::uint64_t, std::uint32_t>> offsets_and_sizes(const tarnex::mp4_file& file) {
  std::vector<std::pair<std::uint64_t, std::uint32_t>> out;
  const auto& track = file.tracks.at(0);
  if (track->sample_count == 0) return out;
  tarnex::sample_iterator it(track);
  it.position(0);
  do out.emplace_back(it.locate().file_offset, it.locate().size);
  while (it.advance());
  return out;
}

}  // namespace

TEST(Mp4Fragments, RunsReachTheTrackOfTheirIdWithDurations) {
  // The only track has ID 2: its runs must not be looked for under 1.
  const bytes first = moof(box("traf", tfhd(2) + trun(100, {5, 6})));
  const bytes data = fragmented(2, empty_tables, first + box("mdat", bytes(11, 'x')));
  tarnex::mp4_file file;
  open_bytes(file, data);
  const std::uint64_t moof_at = data.size() - first.size() - 19;
  EXPECT_EQ(offsets_and_sizes(file), (std::vector<std::pair<std::uint64_t, std::uint32_t>>{
                                         {moof_at + 100, 5}, {moof_at + 105, 6}}));
  // Headers of an "empty moov" file say 0: the length comes from the runs.
  EXPECT_EQ(file.tracks[0]->media_duration, 2048u);
  EXPECT_EQ(file.movie_duration, 46u);
  EXPECT_EQ(file.end_time, 464399);
}

TEST(Mp4Fragments, FragmentsContinueTheSamplesOfTheMovieBox) {
  const bytes moov_tables = stts({{2, 1024}}) + stsz(0, {7, 8}) + stsc({{1, 2, 1}}) + stco({40});
  const bytes fragments = moof(box("traf", tfhd(1, 0x01, be64(500)) + trun(0, {9}) + trun_continuing({3}) + trun(30, {1})));
  tarnex::mp4_file file;
  open_bytes(file, fragmented(1, moov_tables, fragments, 46, 2048));
  EXPECT_EQ(offsets_and_sizes(file), (std::vector<std::pair<std::uint64_t, std::uint32_t>>{
                                         {40, 7}, {47, 8}, {500, 9}, {509, 3}, {530, 1}}));
  EXPECT_EQ(file.tracks[0]->media_duration, 5120u);
}

TEST(Mp4Fragments, EmptyRunsAreLegalAndBaseOffsetsFollowTheFormat) {
  // Without a base of its own, the first track fragment starts at its movie
  // fragment; a later one where the previous run's data ended.
  const bytes trafs = box("traf", tfhd(1, 0) + trun(0, {}) + trun(40, {4})) + box("traf", tfhd(1, 0) + trun(0, {2}));
  const bytes fragment = moof(trafs);
  const bytes data = fragmented(1, empty_tables, fragment);
  tarnex::mp4_file file;
  open_bytes(file, data);
  const std::uint64_t moof_at = data.size() - fragment.size();
  EXPECT_EQ(offsets_and_sizes(file), (std::vector<std::pair<std::uint64_t, std::uint32_t>>{
                                         {moof_at + 40, 4}, {moof_at + 44, 2}}));
}

TEST(Mp4Fragments, EveryPerSampleFieldIsReadInItsPlace) {
  // First-sample flags, then per sample: duration, size, flags, composition offset.
  const bytes run = full_box("trun", 0xF05, be32(2) + be32(64) + be32(0xAAAAAAAA) + be32(300) + be32(11) +
                                                be32(0xBBBBBBBB) + be32(7) + be32(500) + be32(13) + be32(0xCCCCCCCC) +
                                                be32(9));
  const bytes fragment = moof(box("traf", tfhd(1) + run));
  const bytes data = fragmented(1, empty_tables, fragment);
  tarnex::mp4_file file;
  open_bytes(file, data);
  const std::uint64_t moof_at = data.size() - fragment.size();
  EXPECT_EQ(offsets_and_sizes(file), (std::vector<std::pair<std::uint64_t, std::uint32_t>>{
                                         {moof_at + 64, 11}, {moof_at + 75, 13}}));
  const auto& times = file.tracks[0]->time_to_sample;
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0].duration, 300u);
  EXPECT_EQ(times[1].duration, 500u);
}

TEST(Mp4Fragments, StructuralErrors) {
  EXPECT_EQ(open_error(fragmented(1, empty_tables, moof(box("traf", trun(0, {1}) + tfhd(1)))), 0),
            "Got trun, expected tfhd first");
  EXPECT_EQ(open_error(fragmented(1, empty_tables, moof(box("traf", tfhd(3) + trun(0, {1}))))), "Invalid track ID");
}

TEST(Mp4Fragments, RunCountsAreBoundedByTheFile) {
  // Samples with no fields of their own cost no bytes of the box: a count
  // of 4 billion must not become 64 GiB of sample records.
  for (std::uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const bytes run = full_box("trun", 0x001, be32(count) + be32(0));
    const bytes data = fragmented(1, empty_tables, moof(box("traf", tfhd(1, 0x10, be32(100)) + run)) +
                                                       box("mdat", bytes(1000, 'x')));
    tarnex::mp4_file file;
    open_bytes(file, data);
    EXPECT_LE(file.tracks[0]->sample_count, data.size() / 100) << count;
    EXPECT_GE(file.tracks[0]->sample_count, 9u) << count;
  }
  // Per-sample fields must all be in the box.
  const bytes short_run = full_box("trun", 0x201, be32(0xFFFFFFFF) + be32(0) + be32(5));
  EXPECT_EQ(open_error(fragmented(1, empty_tables, moof(box("traf", tfhd(1) + short_run)))), "invalid or incomplete data");
  // Zero-sized samples: no more of them than the file has bytes, however
  // many runs claim them.
  bytes many_runs;
  for (int i = 0; i < 50; ++i) many_runs += full_box("trun", 0, be32(0xFFFFFFFF));
  const bytes data = fragmented(1, empty_tables, moof(box("traf", tfhd(1) + many_runs)));
  tarnex::mp4_file file;
  open_bytes(file, data);
  EXPECT_LE(file.tracks[0]->sample_count, data.size());
  EXPECT_GT(file.tracks[0]->sample_count, data.size() / 2);
}
