// The playable range of a file and its songs: the encoder's gapless record,
// the tracks' own delay and length, chapters as songs.
#include <gtest/gtest.h>

#include <cstring>

#include "inputs/mp4/media_time.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "tests/inputs/mp4/mp4_test_boxes.h"

using namespace mp4_test;

namespace {

bytes freeform(const char* name, const bytes& value, const char* mean = "com.apple.iTunes") {
  return box("----", full_box("mean", 0, mean) + full_box("name", 0, name) + full_box("data", 1, be32(0) + value));
}

bytes user_data(const bytes& items, const bytes& chapters = "") {
  return box("udta", full_box("meta", 0, full_box("hdlr", 0, bytes(21, '\0')) + box("ilst", items)) + chapters);
}

bytes chpl(std::initializer_list<std::pair<std::uint64_t, const char*>> chapters) {
  bytes out = bytes(1, '\x01') + bytes(4, '\0') + be32(std::uint32_t(chapters.size()));
  for (auto [start, name] : chapters) out += be64(start) + char(std::strlen(name)) + name;
  return box("chpl", out);
}

// An AAC track at the given time scale and entry rate, 10 s long at 44100.
bytes movie(const bytes& udta, std::uint32_t time_scale = 44100, std::uint16_t rate = 44100,
            std::uint32_t duration = 441000) {
  return ftyp() + box("moov", mvhd(1000, 10000) +
                                  trak(1, time_scale, duration, audio_entry("mp4a", 2, rate, esds()),
                                       stts({{duration / 1024, 1024}}) + stsz(10, {}, duration / 1024)) +
                                  udta);
}

// 2112 samples of priming and 433152 valid ones: within the 441000 of movie().
const bytes gapless_record = " 00000000 00000840 000001CA 0000000000069C00 00000000";

}  // namespace

TEST(Mp4TimeConversion, RoundsToNearestAndNeverWraps) {
  EXPECT_EQ(tarnex::to_100ns(2112, 44100), 478912u);  // 478911.56...
  EXPECT_EQ(tarnex::to_100ns(1, 3), 3333333u);
  EXPECT_EQ(tarnex::to_100ns(~std::uint64_t(0), 1000), ~std::uint64_t(0) >> 1);
  EXPECT_THROW(tarnex::to_100ns(1, 0), tarnex::exception_invalid_timescale);
}

TEST(Mp4GaplessRange, RecordGivesDelayAndValidSamples) {
  tarnex::mp4_file file;
  open_bytes(file, movie(user_data(freeform("iTunSMPB", gapless_record))));
  ASSERT_EQ(file.song_count(), 1u);
  EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(0x840, 44100)));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(0x840 + 0x69C00, 44100)));

  // HE-AAC counted at half the output rate: the decoder's extra delay.
  open_bytes(file, movie(user_data(freeform("ITUNSMPB", gapless_record)), 22050, 44100));
  EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(0x840 + 481, 22050)));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(0x840 + 0x69C00 + 481, 22050)));

  // A record of another vendor, or with no valid samples, is not used.
  open_bytes(file, movie(user_data(freeform("iTunSMPB", gapless_record, "org.example"))));
  EXPECT_EQ(file.songs[0].start, 0);
  EXPECT_EQ(file.end_time, 100000000);
  open_bytes(file, movie(user_data(freeform("iTunSMPB", " 0 840 0 0"))));
  EXPECT_EQ(file.end_time, 100000000);
  // Nor one whose delay lies past the track's end.
  open_bytes(file, movie(user_data(freeform("iTunSMPB", " 0 6BAC8 0 100"))));
  EXPECT_EQ(file.songs[0].start, 0);
  EXPECT_EQ(file.end_time, 100000000);
}

TEST(Mp4GaplessRange, ValidSamplesPastTheTrackEndAreCutAtIt) {
  tarnex::mp4_file file;
  for (const char* record : {" 00000000 00000840 000001CA F000000000069C00", " 0 840 0 6BAC8"}) {
    open_bytes(file, movie(user_data(freeform("iTunSMPB", record))));
    EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(0x840, 44100))) << record;
    EXPECT_EQ(file.end_time, 100000000) << record;
  }
}

TEST(Mp4GaplessRange, WithoutRecordTheTrackOrTheMovieGivesIt) {
  tarnex::mp4_file file;
  open_bytes(file, movie(""));
  EXPECT_EQ(file.songs[0].start, 0);
  EXPECT_EQ(file.end_time, 100000000);
  // A track whose length is not given falls back on the movie's.
  open_bytes(file, movie("", 44100, 44100, 0xFFFFFFFF));
  EXPECT_EQ(file.end_time, 100000000) << "the movie header's 10000 ms";
}

TEST(Mp4Songs, ChaptersBecomeNumberedSongs) {
  tarnex::mp4_file file;
  open_bytes(file, movie(user_data(freeform("iTunSMPB", gapless_record), chpl({{0, "Intro"}}))));
  ASSERT_EQ(file.song_count(), 1u) << "one chapter with a gapless record: the whole range";
  EXPECT_GT(file.songs[0].start, 0);

  open_bytes(file, movie(user_data(freeform("title", "Book"), chpl({{0, "One"}, {40000000, "Two"}, {70000000, ""}}))));
  ASSERT_EQ(file.song_count(), 3u);
  EXPECT_DOUBLE_EQ(file.song_start(1), 4.0);
  EXPECT_DOUBLE_EQ(file.song_end(1), 7.0);
  EXPECT_DOUBLE_EQ(file.song_end(2), 10.0);
  EXPECT_THROW(file.song_end(3), tarnex::exception_out_of_range);
  // A book's title names the file; its chapters go by their own names, and
  // one without a name keeps the book's.
  EXPECT_EQ(file.songs[0].metadata.find("title")->values, std::vector<std::string>({"One"}));
  EXPECT_EQ(file.songs[2].metadata.find("title")->values, std::vector<std::string>({"Book"}));
  EXPECT_EQ(file.songs[2].metadata.find("track")->values, std::vector<std::string>({"3"}));

  open_bytes(file, movie(user_data("", chpl({{0, "One"}, {20000000, "Two"}}))));
  EXPECT_EQ(file.songs[1].metadata.find("title")->values, std::vector<std::string>({"Two"}));
}

TEST(Mp4Songs, ChaptersOutOfOrderGiveEmptySongsNotNegativeOnes) {
  tarnex::mp4_file file;
  open_bytes(file, movie(user_data("", chpl({{50000000, "Late"}, {10000000, "Early"}, {200000000, "Past end"}}))));
  ASSERT_EQ(file.song_count(), 3u);
  EXPECT_DOUBLE_EQ(file.song_end(0), file.song_start(0));
  EXPECT_DOUBLE_EQ(file.song_end(2), file.song_start(2)) << "a chapter after the end of the audio";
  EXPECT_DOUBLE_EQ(file.song_end(1), 20.0);
}

TEST(Mp4Songs, ChapterListLimits) {
  bytes many = bytes(1, '\0') + bytes(4, '\0') + be32(1025);
  EXPECT_EQ(open_error(movie(box("udta", box("chpl", many)))), "invalid chapter count");
  bytes version2 = bytes(1, '\x02') + bytes(4, '\0') + be32(5000);
  EXPECT_EQ(open_error(movie(box("udta", box("chpl", version2)))), "") << "unknown versions are ignored";
  // Version 0 holds 32-bit starts.
  bytes version0 = bytes(1, '\0') + bytes(4, '\0') + be32(2) + be32(0) + "\1a" + be32(30000000) + "\1b";
  tarnex::mp4_file file;
  open_bytes(file, movie(box("udta", box("chpl", version0))));
  ASSERT_EQ(file.song_count(), 2u);
  EXPECT_DOUBLE_EQ(file.song_start(1), 3.0);
}

TEST(Mp4Songs, FileCutInsideItsMediaDataKeepsItsTagsAndChapters) {
  const bytes whole = movie(user_data(freeform("title", "Book"), chpl({{0, "One"}, {40000000, "Two"}}))) +
                      box("mdat", bytes(5000, 'x'));
  const bytes cut = whole.substr(0, whole.size() - 3000);
  tarnex::mp4_file file;
  tarnex::memory_stream in(cut.data(), cut.size());
  tarnex::mp4_open_file(file, in, reading_options, true, tarnex::cut_file::keep_what_is_there);
  ASSERT_EQ(file.song_count(), 2u);
  EXPECT_EQ(file.songs[1].metadata.find("title")->values, std::vector<std::string>({"Two"}));
  EXPECT_EQ(file.item_list.fields.find("title")->values, std::vector<std::string>({"Book"}));
  // Without a movie box before the cut there is nothing to read.
  EXPECT_EQ(open_error(ftyp() + box("mdat", bytes(5000, 'x')).substr(0, 100)), "invalid or incomplete data");
}

namespace {

bytes elst(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> edits) {
  bytes out = be32(std::uint32_t(edits.size()));
  for (auto [duration, media_time] : edits) out += be32(duration) + be32(media_time) + be32(0x10000);
  return box("edts", full_box("elst", 0, out));
}

// movie() with an edit list in its track: 220500 samples shown after 1024
// of priming, out of 221524 (the movie time scale is 1000).
bytes edited_movie(const bytes& edits, const bytes& udta = "") {
  const std::uint32_t duration = 221524;
  const bytes track = box("trak", tkhd(1) + edits +
                                      box("mdia", mdhd(44100, duration) +
                                                      box("minf", box("stbl", stsd(audio_entry("mp4a", 2, 44100, esds())) +
                                                                                  stts({{duration / 1024, 1024}}) +
                                                                                  stsz(10, {}, duration / 1024)))));
  return ftyp() + box("moov", mvhd(1000, 5023) + track + udta);
}

}  // namespace

TEST(Mp4EditList, FirstEditGivesPrimingAndLength) {
  tarnex::mp4_file file;
  open_bytes(file, edited_movie(elst({{5000, 1024}})));
  EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(1024, 44100)));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(1024 + 220500, 44100)));

  // An empty edit first only delays the track; 0 as a length shows the media
  // to its end; a length past the media ends with it.
  open_bytes(file, edited_movie(elst({{500, 0xFFFFFFFF}, {0, 2048}})));
  EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(2048, 44100)));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(221524, 44100)));
  open_bytes(file, edited_movie(elst({{9000, 1024}})));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(221524, 44100)));
  // A length in whole milliseconds that falls short of the media's end by
  // less than one: the media's end, exact to the sample.
  open_bytes(file, edited_movie(elst({{4999, 1024}})));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(221524, 44100))) << "44 samples short";
  open_bytes(file, edited_movie(elst({{4998, 1024}})));
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(1024 + 220412, 44100))) << "88 samples short";

  // An edit that starts past the media is not a range: the track's own is.
  open_bytes(file, edited_movie(elst({{5000, 300000}})));
  EXPECT_EQ(file.songs[0].start, 0);
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(221524, 44100)));
}

TEST(Mp4EditList, GaplessRecordComesFirst) {
  tarnex::mp4_file file;
  open_bytes(file, edited_movie(elst({{5000, 1024}}), user_data(freeform("iTunSMPB", gapless_record))));
  EXPECT_EQ(file.songs[0].start, std::int64_t(tarnex::to_100ns(0x840, 44100)));
}

TEST(Mp4EditList, ThePlayedTrackGivesTheRangeAndChaptersCountFromItsPresentation) {
  tarnex::mp4_file file;
  const std::int64_t priming = std::int64_t(tarnex::to_100ns(1024, 44100));
  open_bytes(file, edited_movie(elst({{5000, 1024}}), user_data("", chpl({{0, "One"}, {20000000, "Two"}}))));
  ASSERT_EQ(file.song_count(), 2u);
  EXPECT_EQ(file.songs[0].start, priming);
  EXPECT_EQ(file.songs[1].start, priming + 20000000);
  // A second audio track, shorter and unedited, changes nothing of the first's.
  const bytes second = trak(2, 48000, 96000, audio_entry("mp4a", 2, 48000, esds()), stts({{93, 1024}}) + stsz(10, {}, 93));
  open_bytes(file, edited_movie(elst({{5000, 1024}}), second));
  EXPECT_EQ(file.songs[0].start, priming);
  EXPECT_EQ(file.end_time, std::int64_t(tarnex::to_100ns(1024 + 220500, 44100)));
}

TEST(Mp4CutFile, MediaCutAfterTheMovieBoxOpensOnlyWhenAsked) {
  // An interrupted download: the media data, or a movie fragment, is cut.
  const bytes moov = box("moov", mvhd(1000, 93) + simple_track() + box("mvex", full_box("trex", 0, be32(1) + bytes(16, '\0'))));
  const bytes cut_media = ftyp() + moov + be32(4000) + "mdat" + bytes(100, 'x');
  const bytes cut_fragment = ftyp() + moov + box("mdat", bytes(16, 'x')) + be32(400) + "moof" + bytes(50, '\0');
  // Refused as a tag writer needs; a writer cut off by the media data says so.
  EXPECT_EQ(open_error(cut_media), "the file is cut short inside its media data; not rewriting it");
  EXPECT_EQ(open_error(cut_fragment), "invalid or incomplete data");
  for (const bytes& data : {cut_media, cut_fragment}) {
    tarnex::mp4_file file;
    tarnex::memory_stream in(data.data(), data.size());
    tarnex::mp4_open_file(file, in, reading_options, true, tarnex::cut_file::keep_what_is_there);
    EXPECT_EQ(file.tracks.at(0)->sample_count, 4u);
  }
  // Without its movie box a cut file has nothing to play.
  const bytes no_movie = ftyp() + be32(4000) + "mdat" + bytes(100, 'x');
  tarnex::mp4_file file;
  tarnex::memory_stream in(no_movie.data(), no_movie.size());
  EXPECT_THROW(tarnex::mp4_open_file(file, in, reading_options, true, tarnex::cut_file::keep_what_is_there),
               tarnex::exception);
}
