// Sample descriptions, headers and tables read from crafted boxes: what each
// keeps, the errors damaged ones raise, and counts that promise more than
// the box holds.
#include <gtest/gtest.h>

#include "inputs/mp4/tarnex_exceptions.h"
#include "tests/inputs/mp4/mp4_test_boxes.h"

using namespace mp4_test;

namespace {

bytes movie_with_sample_table(const bytes& stbl, const bytes& media_header = mdhd(44100, 4096)) {
  return ftyp() + box("moov", mvhd(1000, 93) + box("trak", tkhd(1) + box("mdia", media_header +
                                                                            box("minf", box("stbl", stbl)))));
}

bytes movie_with(const bytes& entry, const bytes& tables = stts({{4, 1024}}) + stsz(100, {}, 4),
                 const bytes& media_header = mdhd(44100, 4096)) {
  return movie_with_sample_table(stsd(entry) + tables, media_header);
}

tarnex::mp4_track first_track(const bytes& data, std::uint32_t options = reading_options) {
  tarnex::mp4_file file;
  open_bytes(file, data, options);
  return *file.tracks.at(0);
}

}  // namespace

TEST(Mp4SampleDescription, AudioEntriesGiveKindParametersAndSetup) {
  const tarnex::mp4_track aac = first_track(movie_with(audio_entry("mp4a", 2, 44100, esds())));
  EXPECT_EQ(aac.kind, tarnex::kind_aac);
  EXPECT_EQ(aac.channels, 2u);
  EXPECT_EQ(aac.sample_rate, 44100);
  EXPECT_EQ(aac.object_type, 0x40u);
  EXPECT_EQ(aac.max_bitrate, 128000u);
  EXPECT_EQ(aac.decoder_setup, std::vector<std::uint8_t>({0x12, 0x10}));

  const tarnex::mp4_track alac = first_track(movie_with(audio_entry("alac", 2, 48000, full_box("alac", 0, "cfg"))));
  EXPECT_EQ(alac.kind, tarnex::kind_alac);
  EXPECT_EQ(alac.decoder_setup.size(), 7u) << "the whole payload, version and flags included";

  const bytes amr = box("samr", bytes(6, '\0') + be16(1) + bytes(16, '\0') + be16(8000) + be16(0) +
                                    box("damr", bytes(9, '\0')));
  const tarnex::mp4_track narrow = first_track(movie_with(amr));
  EXPECT_EQ(narrow.kind, tarnex::kind_amr);
  EXPECT_EQ(narrow.sample_rate, 8000);
  EXPECT_EQ(narrow.channels, 1u);

  // The last recognised entry sets the kind; without the audio option the
  // entries' details are not read.
  const tarnex::mp4_track two = first_track(movie_with(box("xxxx", "") + audio_entry("ac-3", 6, 48000), ""));
  EXPECT_EQ(two.kind, tarnex::kind_none) << "a count of 1 reads one entry";
  const tarnex::mp4_track no_details =
      first_track(movie_with(audio_entry("mp4a", 2, 44100, esds())), 0x01);
  EXPECT_EQ(no_details.kind, tarnex::kind_aac);
  EXPECT_EQ(no_details.channels, 0u);
}

TEST(Mp4SampleDescription, DamagedEntriesRaiseTheirErrors) {
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100, full_box("alac", 0, "")))), "alac atom not expected here");
  EXPECT_EQ(open_error(movie_with(audio_entry("alac", 2, 44100, esds()))), "esds atom not expected here");
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100, box("esds", be32(0))))), "invalid esds atom (4)");
  bytes short_descriptor = esds_payload();
  short_descriptor[1] = 19;
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100, esds(short_descriptor)))), "invalid esds atom (1)");
  bytes no_config = esds_payload();
  no_config[5] = 7;
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100, esds(no_config)))), "invalid esds atom (2)");
  EXPECT_EQ(open_error(movie_with_sample_table(box("stsd", bytes(2, 0)))), "invalid stsd atom");
  const bytes bad_amr = box("samr", bytes(6, '\0') + be16(1) + bytes(16, '\0') + be16(0) + be16(0));
  EXPECT_EQ(open_error(movie_with(bad_amr)), "invalid time scale value");
  const bytes avc = box("avc1", bytes(24, '\0') + be16(320) + be16(240) + bytes(50, '\0') +
                                    box("avcC", bytes("\x01\x42\x00\x1e\x03", 5) + bytes(1, '\xe0') + bytes(1, '\0')));
  EXPECT_EQ(open_error(movie_with(avc), 0x33), "invalid avcC chunk (1)");
  EXPECT_EQ(open_error(movie_with(avc), 0x13), "") << "video details are read only when asked for";
}

TEST(Mp4Headers, DurationsTimeScalesAndVersions) {
  const bytes all_ones = full_box("mdhd", 0, be32(0) + be32(0) + be32(44100) + be32(0xFFFFFFFF) + be32(0));
  EXPECT_EQ(first_track(movie_with(audio_entry("mp4a", 2, 44100), stts({}), all_ones)).media_duration,
            ~std::uint64_t(0));
  const bytes version1 = full_box("mdhd", 0x01000000, be64(0) + be64(0) + be32(48000) + be64(1ull << 33) + be32(0));
  EXPECT_EQ(first_track(movie_with(audio_entry("mp4a", 2, 44100), stts({}), version1)).media_duration, 1ull << 33);
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100), "", mdhd(0, 5))), "invalid time scale value");
  EXPECT_EQ(open_error(movie_with(audio_entry("mp4a", 2, 44100), "", full_box("mdhd", 0x02000000, bytes(24, '\0')))),
            "unknown mdhd version");
  EXPECT_EQ(open_error(ftyp() + box("moov", full_box("mvhd", 0x05000000, bytes(100, '\0')))), "unknown mvhd version");
}

TEST(Mp4SampleTables, SyncSamplesAreCheckedAndCountedFromZero) {
  const bytes entry = audio_entry("mp4a", 2, 44100);
  const auto sync = [](std::initializer_list<std::uint32_t> samples) {
    bytes out = be32(std::uint32_t(samples.size()));
    for (auto s : samples) out += be32(s);
    return full_box("stss", 0, out);
  };
  EXPECT_EQ(first_track(movie_with(entry, stts({{9, 1}}) + sync({1, 5, 9}))).sync_samples,
            std::vector<std::uint32_t>({0, 4, 8}));
  EXPECT_EQ(open_error(movie_with(entry, stts({{9, 1}}) + sync({1, 1}))), "invalid stss data");
  EXPECT_EQ(open_error(movie_with(entry, sync({0}))), "invalid stss data");
  EXPECT_EQ(open_error(movie_with(entry, stts({{1, 1}}) + stts({{1, 1}}))), "duplicate stts data");
}

TEST(Mp4SampleTables, CountsBeyondTheBoxAreRefusedBeforeAllocating) {
  const bytes entry = audio_entry("mp4a", 2, 44100);
  for (const char* table : {"stts", "ctts", "stsc", "stco", "co64", "stss"}) {
    for (std::uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu, 3u}) {
      const bytes damaged = full_box(table, 0, be32(count) + be64(1));
      EXPECT_EQ(open_error(movie_with(entry, damaged)), "invalid or incomplete data") << table << " " << count;
    }
  }
  // A size table is read as far as it goes (see below).
  EXPECT_EQ(first_track(movie_with(entry, full_box("stsz", 0, be32(0) + be32(0xFFFFFFFF) + be32(1)))).sample_sizes,
            std::vector<std::uint32_t>({1}));
  // Runs whose counts add up past 2^32 - 1 samples would wrap to a small total.
  EXPECT_EQ(open_error(movie_with(entry, stts({{0xFFFFFFFF, 1}, {2, 1}}))), "invalid stts data");
  EXPECT_EQ(first_track(movie_with(entry, stts({{0xFFFFFFFE, 1}, {1, 1}}))).sample_count, 0xFFFFFFFFu);
}

TEST(Mp4SampleTables, ASizeTableCutShortKeepsTheSamplesItGivesSizesFor) {
  const bytes entry = audio_entry("mp4a", 2, 44100);
  tarnex::mp4_file file;
  open_bytes(file, movie_with(entry, stts({{3, 1024}, {2, 512}}) +
                                         full_box("stsz", 0, be32(0) + be32(5) + be32(10) + be32(20))));
  const tarnex::mp4_track& track = *file.tracks.at(0);
  EXPECT_EQ(track.sample_count, 2u);
  EXPECT_EQ(track.sample_sizes, std::vector<std::uint32_t>({10, 20}));
  ASSERT_EQ(track.time_to_sample.size(), 2u);
  EXPECT_EQ(track.time_to_sample[0].sample_count, 2u);
  EXPECT_EQ(track.time_to_sample[1].sample_count, 0u);
  EXPECT_EQ(file.warnings, std::vector<std::string>({"Damaged MP4 sample size table: 2 of 5 samples can be played."}));
  // Cut before its count, or before its fixed size: no sample has a size.
  for (const bytes& cut : {be32(0), bytes()}) {
    EXPECT_EQ(first_track(movie_with(entry, stts({{4, 1024}}) + full_box("stsz", 0, cut))).sample_count, 0u);
  }
}

TEST(Mp4SampleTables, OnlyWantedTracksKeepTables) {
  const bytes tables = stts({{4, 1024}}) + stsz(0, {1, 2, 3, 4}) + stsc({{1, 4, 1}}) + stco({100});
  const tarnex::mp4_track text = first_track(movie_with(box("text", bytes(20, '\0')), tables));
  EXPECT_EQ(text.kind, tarnex::kind_none);
  EXPECT_TRUE(text.sample_sizes.empty());
  EXPECT_TRUE(text.chunk_offsets.empty());
  const tarnex::mp4_track info_only = first_track(movie_with(audio_entry("mp4a", 2, 44100), tables), 0x12);
  EXPECT_EQ(info_only.sample_sizes.size(), 4u) << "sizes serve the bit rate";
  EXPECT_TRUE(info_only.chunk_offsets.empty()) << "chunk tables only for decoding";
}
