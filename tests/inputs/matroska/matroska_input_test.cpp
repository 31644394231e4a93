// The Matroska input on small files built in memory: tags as fields, their
// rewriting in place and when one write may do it, chapters whose times run
// backwards, and blocks whose time lies before their cluster's.
#include "inputs/matroska/matroska_input.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/matroska_chapter_value_misread.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_tag_placement.h"
#include "inputs/matroska/matroska_tags.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "tests/inputs/matroska/matroska_test_files.h"
#include "tests/io/model_file.h"

using namespace Matroska;
using namespace matroska_test;

namespace {

constexpr std::uint32_t tags_id = 0x1254C367, void_id = 0xEC;

std::string targets(std::uint64_t level, const std::string& extra = "") {
  return el(0x63C0, (level ? uint_el(0x68CA, level) : "") + extra);
}
std::string simple(const std::string& name, const std::string& value) {
  return el(0x67C8, el(0x45A3, name) + el(0x4487, value));
}
std::string tag(const std::string& targets_element, const std::string& simples) {
  return el(0x7373, targets_element + simples);
}

// 100 samples of one 16-bit channel at 1000 Hz, each block 0.1 s.
std::string pcm_block_content(std::int16_t relative_time, std::int16_t value) {
  std::string samples;
  for (int i = 0; i < 100; ++i) samples += std::string{char(value & 0xFF), char(value >> 8)};
  return "\x81" + be(static_cast<std::uint16_t>(relative_time), 2) + "\x80" + samples;
}
std::string pcm_block(std::int16_t relative_time, std::int16_t value) {
  return el(0xA3, pcm_block_content(relative_time, value));
}

struct opened_file {
  explicit opened_file(const std::string& bytes, open_reason reason = open_reason::info_read)
      : file(memory_file(bytes)) {
    input.open(file, "", reason, never_raised_abort_signal());
  }
  track_info_impl info(std::uint32_t subsong = 0) {
    track_info_impl out;
    input.get_info(subsong, out, never_raised_abort_signal());
    return out;
  }
  std::string field(const char* name, std::uint32_t subsong = 0) {
    const track_info_impl got = info(subsong);
    const std::uint32_t index = got.find_field(name);
    return index == track_info::not_found ? "-" : got.field_value(index, 0);
  }
  vantrel_io::file_ptr file;
  matroska_input input;
};

std::string retagged(const std::string& bytes, const char* name, const char* value) {
  opened_file writer(bytes, open_reason::info_write);
  track_info_impl edit = writer.info();
  edit.set_field(name, track_info::until_nul, value, track_info::until_nul);
  writer.input.set_info(0, edit);
  writer.input.commit(never_raised_abort_signal());
  return file_bytes(*writer.file);
}

std::size_t count_of(const std::string& bytes, const std::string& part) {
  std::size_t count = 0;
  for (auto at = bytes.find(part); at != std::string::npos; at = bytes.find(part, at + 1)) ++count;
  return count;
}

// The file's first Tags element, without what a Void after it still holds
// of the old one.
std::string tags_element(const std::string& bytes) {
  const std::size_t at = bytes.find(id_bytes(tags_id));
  if (at == std::string::npos) return "";
  const auto first = static_cast<unsigned char>(bytes[at + 4]);
  unsigned length = 1;
  while (length < 8 && !(first & (0x80 >> (length - 1)))) ++length;
  std::uint64_t size = first & (0xFF >> length);
  for (unsigned i = 1; i < length; ++i) size = size << 8 | static_cast<unsigned char>(bytes[at + 4 + i]);
  return bytes.substr(at, 4 + length + size);
}

std::string retagged_subsong(const std::string& bytes, std::uint32_t subsong, const char* name, const char* value) {
  opened_file writer(bytes, open_reason::info_write);
  track_info_impl edit = writer.info(subsong);
  edit.set_field(name, track_info::until_nul, value, track_info::until_nul);
  writer.input.set_info(subsong, edit);
  writer.input.commit(never_raised_abort_signal());
  return file_bytes(*writer.file);
}

// Each chapter's field set (or removed, without a value) in one write, as
// an edit of several tracks of one file makes it.
std::string edited_chapters(const std::string& bytes, std::initializer_list<std::uint32_t> subsongs, const char* name,
                            const char* value) {
  opened_file writer(bytes, open_reason::info_write);
  for (std::uint32_t subsong : subsongs) {
    track_info_impl edit = writer.info(subsong);
    if (value) edit.set_field(name, track_info::until_nul, value, track_info::until_nul);
    for (std::uint32_t field; !value && (field = edit.find_field(name)) != track_info::not_found;)
      edit.remove_field_value(field, 0);
    writer.input.set_info(subsong, edit);
  }
  writer.input.commit(never_raised_abort_signal());
  return file_bytes(*writer.file);
}

class MatroskaInput : public ::testing::Test {
protected:
  static void SetUpTestSuite() { service_registry::table().build(service_factory::global_list_head); }
};

TEST_F(MatroskaInput, TagNamesMapByTheirLevel) {
  EXPECT_EQ(matroska_field_from_tag_name("title", 50), "album");
  EXPECT_EQ(matroska_field_from_tag_name("TITLE", 30), "title");
  EXPECT_EQ(matroska_field_from_tag_name("TOTAL_PARTS", 50), "totaltracks");
  EXPECT_EQ(matroska_field_from_tag_name("TOTAL_PARTS", 60), "totaldiscs");
  EXPECT_EQ(matroska_field_from_tag_name("PART_NUMBER", 50), "discnumber");
  EXPECT_EQ(matroska_field_from_tag_name("COMPOSER", 30), "COMPOSER");
  std::string name;
  std::uint64_t level;
  matroska_tag_name_from_field("composer", name, level);
  EXPECT_EQ(name + std::to_string(level), "COMPOSER30");
  matroska_tag_name_from_field("Album Artist", name, level);
  EXPECT_EQ(name + std::to_string(level), "ARTIST50");

  const std::string tags = el(tags_id, tag(targets(0), simple("TITLE", "A")) + tag(targets(30), simple("TITLE", "T")) +
                                            tag(targets(0, uint_el(0x63C5, 7)), simple("TITLE", "Track only")));
  opened_file file(header() + el(0x18538067, info() + pcm_track() + tags, 8));
  EXPECT_EQ(file.field("album"), "A");
  EXPECT_EQ(file.field("title"), "T");

  const std::string two_strings = el(tags_id, tag(targets(0), el(0x67C8, el(0x45A3, "X") + el(0x4487, "1") +
                                                                         el(0x4487, "2"))));
  // A malformed Tag costs the tags, not the file; and what cannot be read
  // whole is never written over.
  const std::string broken_file = header() + el(0x18538067, info() + pcm_track() + two_strings, 8);
  opened_file broken(broken_file);
  EXPECT_EQ(broken.field("X"), "-");
  EXPECT_THROW(retagged(broken_file, "title", "T"), vantrel_io::exception_io_data);
}

TEST_F(MatroskaInput, TagsAimedAtThePlayingTrackAreTheFilesOwnAndStayAimedAtIt) {
  const std::string tags = el(tags_id, tag(targets(50), simple("ARTIST", "Band")) +
                                           tag(targets(0, uint_el(0x63C5, 7)), simple("ARTIST", "Singer") +
                                                                                    simple("GENRE", "Pop")) +
                                           tag(targets(0, uint_el(0x63C5, 9)), simple("COMPOSER", "Elsewhere")));
  const std::string file = header() + el(0x18538067, info() + pcm_track() + tags + el(void_id, std::string(200, '\0')), 8);
  opened_file read(file);
  EXPECT_EQ(read.field("album artist") + read.field("artist") + read.field("GENRE") + read.field("COMPOSER"),
            "BandSingerPop-");

  opened_file writer(file, open_reason::info_write);
  track_info_impl edit = writer.info();
  edit.set_field("artist", track_info::until_nul, "Duo", track_info::until_nul);
  edit.remove_field_value(edit.find_field("GENRE"), 0);
  writer.input.set_info(0, edit);
  writer.input.commit(never_raised_abort_signal());
  const std::string after = file_bytes(*writer.file), written = tags_element(after);
  // The new artist stays aimed at the track, at its level, which its Targets
  // leave unsaid; the genre is gone from there; the album's and the other
  // track's Tags stay.
  EXPECT_EQ(count_of(written, targets(0, uint_el(0x63C5, 7))), 1u);
  EXPECT_EQ(count_of(written, targets(30, uint_el(0x63C5, 7))), 0u);
  EXPECT_EQ(count_of(written, "Pop") + count_of(written, "Singer"), 0u);
  EXPECT_EQ(count_of(written, "Elsewhere") + count_of(written, "Band"), 2u);
  opened_file reread(after);
  EXPECT_EQ(reread.field("artist") + reread.field("GENRE") + reread.field("album artist"), "Duo-Band");
}

TEST_F(MatroskaInput, ALevelLeftUnsaidIsTheTargetTypesAndEveryTagKeepsItsTargets) {
  // mkvmerge's shape of an Ogg file's comments: the album artist aimed at the
  // track with TargetType ALBUM alone, statistics with no level at all.
  const std::string track_tag = tag(targets(30, el(0x63CA, "TRACK") + uint_el(0x63C5, 7)), simple("ARTIST", "Singer"));
  const std::string album_simple = el(0x67C8, el(0x45A3, "ARTIST") + el(0x4487, "Band") + el(0x447A, "ger") +
                                                 simple("SORT_WITH", "Band, The"));
  const std::string album_targets = targets(0, el(0x63CA, "ALBUM") + uint_el(0x63C5, 7));
  const std::string statistics = tag(targets(0, uint_el(0x63C5, 7)), simple("BPS", "1411"));
  const std::string file = header() + el(0x18538067, info() + pcm_track() +
                                                         el(tags_id, track_tag + tag(album_targets, album_simple) +
                                                                         statistics) +
                                                         el(void_id, std::string(200, '\0')), 8);
  EXPECT_EQ(opened_file(file).field("artist") + opened_file(file).field("album artist"), "SingerBand");

  const std::string titled = retagged(file, "title", "Song");
  EXPECT_EQ(count_of(tags_element(titled), album_targets + album_simple) +
                count_of(tags_element(titled), statistics),
            2u);
  EXPECT_EQ(opened_file(titled).field("title") + opened_file(titled).field("album artist"), "SongBand");
  // An edited value stays in its Tag and keeps its language and nested tags.
  const std::string edited = retagged(titled, "album artist", "Duo");
  EXPECT_EQ(count_of(tags_element(edited), album_targets + el(0x67C8, el(0x45A3, "ARTIST") + el(0x4487, "Duo") +
                                                            el(0x447A, "ger") + simple("SORT_WITH", "Band, The"))),
            1u);
  EXPECT_EQ(opened_file(edited).field("artist") + opened_file(edited).field("album artist"), "SingerDuo");
}

TEST_F(MatroskaInput, ARetagKeepsTargetTypesAndTagsNamingSeveralUids) {
  const std::string shared = tag(targets(50, el(0x63CA, "ALBUM") + uint_el(0x63C5, 7) + uint_el(0x63C5, 8)),
                                 simple("LABEL", "Shared"));
  const std::string tags = el(tags_id, tag(targets(50, el(0x63CA, "ALBUM")), simple("TITLE", "Old")) + shared);
  const std::string file = header() + el(0x18538067, info() + pcm_track() + tags + el(void_id, std::string(200, '\0')), 8);
  const std::string after = retagged(file, "album", "New");
  EXPECT_EQ(after.size(), file.size());
  // The Tag of two tracks stays one Tag, byte for byte, TargetType and all.
  EXPECT_EQ(count_of(after, shared.substr(shared.find('\x63'))), 1u);
  EXPECT_EQ(count_of(after, "ALBUM"), 2u);
  opened_file reread(after);
  EXPECT_EQ(reread.field("album"), "New");
}

TEST_F(MatroskaInput, TagsGoInPlaceOnlyWithoutALeftoverByte) {
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  auto file_with = [&](std::size_t void_size) {
    return header() + el(0x18538067, info() + pcm_track() + old_tags + el(void_id, std::string(void_size, '\0')) +
                                          cluster(0, pcm_block(0, 1)), 8);
  };
  // A title 60 bytes longer fits the 100-byte Void and leaves a Void behind.
  const std::string roomy = file_with(98);
  const std::string grown = retagged(roomy, "album", (std::string("Old") + std::string(60, 'x')).c_str());
  EXPECT_EQ(grown.size(), roomy.size());
  EXPECT_EQ(opened_file(grown).field("album"), "Old" + std::string(60, 'x'));

  // When the growth would leave exactly one byte, the end of the Segment is
  // used: the new element's size is read from where the first retag put it.
  // Only a SeekHead can name it there; without one the file is refused whole.
  // There it keeps 512 bytes of room behind it for later edits.
  const std::size_t tags_at = roomy.find(old_tags);
  const std::size_t new_total = 4 + 1 + static_cast<unsigned char>(grown[tags_at + 4] & 0x7F);
  const std::string tight = file_with(new_total + 1 - old_tags.size() - 2);
  EXPECT_THROW(retagged(tight, "album", (std::string("Old") + std::string(60, 'x')).c_str()), FileNotTaggable);
  const std::string listed =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, old_tags},
                                        {void_id, el(void_id, std::string(new_total + 1 - old_tags.size() - 2, '\0'))},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const std::string moved = retagged(listed, "album", (std::string("Old") + std::string(60, 'x')).c_str());
  // The moved element also lists the one it takes the place of (a Void of
  // 14 bytes of mark and 20 of entry).
  const std::size_t taken_in_list = 2 + 14 + 20;
  EXPECT_EQ(moved.size(), listed.size() + new_total + taken_in_list + 512);
  EXPECT_EQ(opened_file(moved).field("album"), "Old" + std::string(60, 'x'));
}

TEST_F(MatroskaInput, WithoutASeekHeadTagsThatOutgrowTheirPlaceAreRefusedUntouched) {
  // The Cues are the fourth element a walk needs: a Tags element after them
  // would be found neither here nor by other players.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  const std::string file = header() + el(0x18538067, info() + pcm_track() + old_tags + el(void_id, std::string(100, '\0')) +
                                                         el(0x1043A770, el(0x45B9, chapter(1, 0))) +
                                                         cluster(0, pcm_block(0, 1)) + el(0x1C53BB6B, cue(0, 1, 0)), 8);
  opened_file writer(file, open_reason::info_write);
  track_info_impl edit = writer.info(1);
  edit.set_field("comment", track_info::until_nul, std::string(300, 'c').c_str(), track_info::until_nul);
  writer.input.set_info(1, edit);
  EXPECT_THROW(writer.input.commit(never_raised_abort_signal()), FileNotTaggable);
  EXPECT_EQ(file_bytes(*writer.file), file);
  // Tags that fit where the old ones are still go in.
  EXPECT_EQ(opened_file(retagged_subsong(file, 1, "title", "New")).field("title", 1), "New");
}

TEST_F(MatroskaInput, ASecondTagsElementNoSeekHeadNamesTakesTheTagsOnlyOnceTheSeekHeadNamesIt) {
  // The first Tags has no room to grow; the second, after the Cluster, has a
  // Void behind it. Readers that follow the SeekHead must find the result.
  const std::string first = el(tags_id, tag(targets(0), simple("TITLE", "First")));
  const std::string second = el(tags_id, tag(targets(0), simple("ARTIST", "Second")));
  const std::string file =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, first},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}, {tags_id, second},
                                        {void_id, el(void_id, std::string(300, '\0'))}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const std::string after = retagged(file, "album", "A fresh and longer album");
  EXPECT_EQ(after.size(), file.size());
  opened_file reread(after);
  EXPECT_EQ(reread.field("album"), "A fresh and longer album");
  EXPECT_EQ(reread.field("album artist"), "-");  // read by no reader before: it stays unseen
  EXPECT_EQ(count_of(after, "First"), 1u);  // inside the Void of the first Tags
}

TEST_F(MatroskaInput, SeveralValuesOfOneTagNameAreOneField) {
  const std::string tags = el(tags_id, tag(targets(30), simple("ARTIST", "A1") + simple("TITLE", "T") +
                                                           simple("artist", "A2")));
  opened_file file(header() + el(0x18538067, info() + pcm_track() + tags, 8));
  const track_info_impl got = file.info();
  ASSERT_EQ(got.field_count(), 2u);
  const std::uint32_t artist = got.find_field("artist");
  ASSERT_EQ(got.field_value_count(artist), 2u);
  EXPECT_STREQ(got.field_value(artist, 1), "A2");
}

TEST_F(MatroskaInput, AChapterEditGoesIntoItsOwnTagAndEveryOtherTagStaysAsItWas) {
  // The file's album artist, ffmpeg's stream tags aimed at the track, and
  // mkvpropedit's track-level title and artist.
  const std::string whole_tag = tag(targets(0), simple("ARTIST", "Band") + simple("ENCODER", "Lavf"));
  const std::string stream_tag = tag(targets(0, uint_el(0x63C5, 7)), simple("ENCODER", "Lavc") +
                                                                         simple("DURATION", "00:00:02"));
  const std::string track_tag = tag(targets(30, uint_el(0x63C5, 7)), simple("TITLE", "Song") + simple("ARTIST", "Singer"));
  const std::string chapters =
      el(0x1043A770, el(0x45B9, chapter(1, 0, chapter_title("One")) + chapter(2, 500000000, chapter_title("Two")) +
                                    chapter(3, 1000000000, chapter_title("Three"))));
  const std::string file = header() + el(0x18538067, info() + pcm_track() + chapters +
                                                         el(tags_id, whole_tag + stream_tag + track_tag) +
                                                         el(void_id, std::string(400, '\0')), 8);
  auto titles = [](const std::string& bytes) {
    opened_file read(bytes);
    return read.field("title", 1) + "/" + read.field("title", 2) + "/" + read.field("title", 3);
  };
  // A chapter goes by its name, not by the track's title.
  EXPECT_EQ(titles(file), "One/Two/Three");

  const std::string retitled = retagged_subsong(file, 2, "title", "New");
  const std::string written = tags_element(retitled);
  EXPECT_EQ(count_of(written, whole_tag) + count_of(written, stream_tag) + count_of(written, track_tag), 3u);
  EXPECT_EQ(count_of(written, targets(30, uint_el(0x63C4, 2))), 1u);
  EXPECT_EQ(titles(retitled), "One/New/Three");
  opened_file reread(retitled);
  EXPECT_EQ(reread.field("artist", 2) + reread.field("album artist", 2) + reread.field("ENCODER", 3), "SingerBandLavf");

  // A value the chapter shares is removed for it alone, by an empty one of its own.
  const std::string unsung = edited_chapters(retitled, {3}, "artist", nullptr);
  EXPECT_EQ(count_of(tags_element(unsung), track_tag), 1u);
  EXPECT_EQ(opened_file(unsung).field("artist", 3) + opened_file(unsung).field("artist", 1), "-Singer");
  // So is a title its name would give it.
  const std::string untagged = header() + el(0x18538067, info() + pcm_track() + chapters + el(tags_id, "") +
                                                             el(void_id, std::string(100, '\0')), 8);
  const std::string unnamed = edited_chapters(untagged, {1}, "title", nullptr);
  EXPECT_EQ(opened_file(unnamed).field("title", 1) + opened_file(unnamed).field("title", 2), "-Two");

  // What every chapter changes alike, and none holds in a Tag naming it,
  // changes once where they all read it from.
  const std::string renamed = edited_chapters(unsung, {1, 2, 3}, "album artist", "Duo");
  EXPECT_EQ(count_of(tags_element(renamed), tag(targets(0), simple("ARTIST", "Duo") + simple("ENCODER", "Lavf"))), 1u);
  EXPECT_EQ(count_of(renamed, "Duo"), 1u);
  EXPECT_EQ(titles(renamed), "One/New/Three");
  EXPECT_EQ(opened_file(renamed).field("artist", 3) + opened_file(renamed).field("album artist", 3), "-Duo");

  // ffmpeg reads a chapter's Tags whatever their level: one chapter's album
  // artist (ARTIST at 50) would be its artist there, and is refused.
  EXPECT_THROW(retagged_subsong(file, 2, "album artist", "Guest"), exception_chapter_value_misread);
  EXPECT_THROW(edited_chapters(file, {1, 2}, "album", "Part"), exception_chapter_value_misread);
}

TEST_F(MatroskaInput, ValuesAboveTheAlbumAndAnAlbumAimedAtTheTrackAreReadByTheirLevelAndStay) {
  EXPECT_EQ(matroska_field_from_tag_name("TITLE", 70), "COLLECTION TITLE");
  EXPECT_EQ(matroska_field_from_tag_name("ARTIST", 60), "EDITION ARTIST");
  EXPECT_EQ(matroska_field_from_tag_name("TOTAL_PARTS", 60), "totaldiscs");
  // A collection's title beside the album's, whose level mkvpropedit leaves
  // unsaid.
  const std::string collection = tag(targets(70, el(0x63CA, "COLLECTION")), simple("TITLE", "Box"));
  const std::string song = tag(targets(30), simple("TITLE", "Song"));
  const std::string file = header() + el(0x18538067, info() + pcm_track() +
                                                         el(tags_id, collection + tag(targets(0), simple("TITLE", "Album")) +
                                                                         song) +
                                                         el(void_id, std::string(200, '\0')), 8);
  EXPECT_EQ(opened_file(file).field("album") + "/" + opened_file(file).field("COLLECTION TITLE"), "Album/Box");
  const std::string after = retagged(file, "album", "New");
  EXPECT_EQ(count_of(tags_element(after), collection) + count_of(tags_element(after), song), 2u);
  const track_info_impl reread = opened_file(after).info();
  EXPECT_EQ(reread.field_value_count(reread.find_field("album")), 1u);
  EXPECT_EQ(opened_file(after).field("album") + "/" + opened_file(after).field("COLLECTION TITLE"), "New/Box");

  // A box set's title and number (60) beside the album's: the set's count
  // of discs is the album's total of discs.
  const std::string box = tag(targets(60, el(0x63CA, "VOLUME")),
                              simple("TITLE", "Box") + simple("PART_NUMBER", "3") + simple("TOTAL_PARTS", "10"));
  const std::string in_box = header() + el(0x18538067, info() + pcm_track() +
                                                           el(tags_id, box + tag(targets(50), simple("TITLE", "Album") +
                                                                                                   simple("PART_NUMBER", "2"))) +
                                                           el(void_id, std::string(200, '\0')), 8);
  const std::string boxed = retagged(retagged(in_box, "album", "New"), "discnumber", "4");
  EXPECT_EQ(count_of(tags_element(boxed), box), 1u);
  opened_file box_read(boxed);
  EXPECT_EQ(box_read.field("album") + "/" + box_read.field("discnumber") + "/" + box_read.field("totaldiscs") + "/" +
                box_read.field("EDITION TITLE") + "/" + box_read.field("EDITION PART_NUMBER"),
            "New/4/10/Box/3");

  // mkvpropedit's --tags track: with a level-50 Tag beside a level-30 one.
  const std::string track_album = tag(targets(0, uint_el(0x63C5, 7)), simple("TITLE", "Album Of Track"));
  const std::string track_song = tag(targets(30, uint_el(0x63C5, 7)), simple("TITLE", "Song") + simple("ARTIST", "A"));
  const std::string aimed = header() + el(0x18538067, info() + pcm_track() + el(tags_id, track_album + track_song) +
                                                          el(void_id, std::string(200, '\0')), 8);
  const track_info_impl shown = opened_file(aimed).info();
  EXPECT_EQ(shown.field_value_count(shown.find_field("title")), 1u);
  EXPECT_EQ(opened_file(aimed).field("title") + "/" + opened_file(aimed).field("album"), "Song/Album Of Track");
  const std::string retitled = retagged(aimed, "title", "New");
  EXPECT_EQ(count_of(tags_element(retitled), track_album), 1u);
  EXPECT_EQ(opened_file(retitled).field("title") + "/" + opened_file(retitled).field("album"), "New/Album Of Track");

  // Its neighbour losing the TITLE they share (one of two titles replaced)
  // leaves it the album's: its level is then written out.
  const std::string two_titles = header() + el(0x18538067, info() + pcm_track() +
                                                               el(tags_id, tag(targets(30), simple("TITLE", "Whole")) +
                                                                               track_album + track_song) +
                                                               el(void_id, std::string(200, '\0')), 8);
  const std::string one_title = retagged(two_titles, "title", "New");
  EXPECT_EQ(count_of(tags_element(one_title), tag(targets(50, uint_el(0x63C5, 7)), simple("TITLE", "Album Of Track"))),
            1u);
  const track_info_impl after_one = opened_file(one_title).info();
  EXPECT_EQ(after_one.field_value_count(after_one.find_field("title")), 1u);
  EXPECT_EQ(opened_file(one_title).field("title") + "/" + opened_file(one_title).field("album"), "New/Album Of Track");
  // An edit that keeps what they share leaves its Targets as they were.
  EXPECT_EQ(count_of(tags_element(retagged(aimed, "artist", "B")), track_album), 1u);
  // Without its album title, what stays of it (mkvmerge's statistics) reads
  // alike at either level and keeps its Targets.
  const std::string statistics = tag(targets(0, uint_el(0x63C5, 7)), simple("BPS", "1411"));
  const std::string with_statistics =
      header() + el(0x18538067, info() + pcm_track() +
                                    el(tags_id, tag(targets(0, uint_el(0x63C5, 7)),
                                                    simple("TITLE", "Album Of Track") + simple("BPS", "1411")) +
                                                    track_song) +
                                    el(void_id, std::string(200, '\0')), 8);
  const std::string no_album = edited_chapters(with_statistics, {0}, "album", nullptr);
  EXPECT_EQ(count_of(tags_element(no_album), statistics + track_song), 1u);

  // Beside a Tag it shares no name with (a title written for the track
  // beside ffmpeg's stream tags), a Tag with no level stays the track's.
  const std::string streams = header() + el(0x18538067, info() + pcm_track() +
                                                            el(tags_id, tag(targets(0, uint_el(0x63C5, 7)),
                                                                            simple("ARTIST", "Stream Artist")) +
                                                                            tag(targets(30, uint_el(0x63C5, 7)),
                                                                                simple("TITLE", "T"))), 8);
  EXPECT_EQ(opened_file(streams).field("artist") + opened_file(streams).field("album artist"), "Stream Artist-");
}

TEST_F(MatroskaInput, TitlesOfASideAMovementAndAShotAreTheirOwnAndATitleEditKeepsThem) {
  EXPECT_EQ(matroska_field_from_tag_name("TITLE", 40), "PART TITLE");
  EXPECT_EQ(matroska_field_from_tag_name("ARTIST", 20), "SUBTRACK ARTIST");
  EXPECT_EQ(matroska_field_from_tag_name("TITLE", 10), "SHOT TITLE");
  EXPECT_EQ(matroska_field_from_tag_name("GENRE", 40), "GENRE");
  std::string name;
  std::uint64_t level = 0;
  matroska_tag_name_from_field("part title", name, level);
  EXPECT_EQ(name + "@" + std::to_string(level), "TITLE@40");
  matroska_tag_name_from_field("COLLECTION ARTIST", name, level);
  EXPECT_EQ(name + "@" + std::to_string(level), "ARTIST@70");

  // mkvmerge's whole-file Tags at the levels of a side (40), the track, a
  // movement (20) and a shot (10), each with a TITLE.
  const std::string side = tag(targets(40, el(0x63CA, "PART")), simple("TITLE", "Side A"));
  const std::string song = tag(targets(30, el(0x63CA, "TRACK")), simple("TITLE", "Song") + simple("ARTIST", "Singer"));
  const std::string movement = tag(targets(20, el(0x63CA, "MOVEMENT")), simple("TITLE", "Movement I"));
  const std::string shot = tag(targets(10), simple("TITLE", "Shot"));
  const std::string file = header() + el(0x18538067, info() + pcm_track() +
                                                         el(tags_id, side + song + movement + shot) +
                                                         el(void_id, std::string(200, '\0')), 8);
  const track_info_impl shown = opened_file(file).info();
  EXPECT_EQ(shown.field_value_count(shown.find_field("title")), 1u);
  EXPECT_EQ(opened_file(file).field("title") + "/" + opened_file(file).field("PART TITLE") + "/" +
                opened_file(file).field("SUBTRACK TITLE") + "/" + opened_file(file).field("SHOT TITLE"),
            "Song/Side A/Movement I/Shot");
  const std::string retitled = retagged(file, "title", "New");
  EXPECT_EQ(count_of(tags_element(retitled), side + tag(targets(30, el(0x63CA, "TRACK")),
                                                         simple("TITLE", "New") + simple("ARTIST", "Singer")) +
                                                 movement + shot),
            1u);
  // A side's title new to the file is written at the side's level.
  const std::string sided = retagged(retitled, "PART ARTIST", "Side Artist");
  const std::string new_simple = el(0x67C8, el(0x45A3, "ARTIST") + el(0x4487, "Side Artist") + el(0x447A, "und") +
                                               uint_el(0x4484, 1));
  EXPECT_EQ(count_of(tags_element(sided), tag(targets(40, el(0x63CA, "PART")), simple("TITLE", "Side A") + new_simple)),
            1u);
  EXPECT_EQ(opened_file(sided).field("PART ARTIST") + "/" + opened_file(sided).field("artist"), "Side Artist/Singer");
}

TEST_F(MatroskaInput, DiscardPaddingAndCodecDelayTrimTheStream) {
  // Three blocks of 100 samples; the track is delayed by 20 samples and the
  // last block pads its end by 30.
  const std::string delayed =
      tracks(el(0xAE, uint_el(0xD7, 1) + uint_el(0x73C5, 7) + uint_el(0x83, 2) + el(0x86, "A_PCM/INT/LIT") +
                          uint_el(0x56AA, 20000000, 4) +
                          el(0xE1, double_el(0xB5, 1000.0) + uint_el(0x9F, 1) + uint_el(0x6264, 16))));
  const std::string group = el(0xA0, el(0xA1, pcm_block_content(200, 3)) + uint_el(0x75A2, 30000000, 4));
  const std::string file = header() + el(0x18538067, info(300.0) + delayed +
                                                         cluster(0, pcm_block(0, 1) + pcm_block(100, 2) + group), 8);
  opened_file opened(file, open_reason::decode);
  opened.input.initialize(0, 0, never_raised_abort_signal());
  audio_block block;
  std::uint32_t samples = 0;
  while (opened.input.run(block, never_raised_abort_signal())) samples += block.get_sample_count();
  EXPECT_EQ(samples, 300u - 20u - 30u);
}

TEST_F(MatroskaInput, ACutFilePlaysTheBlocksItHoldsWholeAndRefusesRetagging) {
  const std::string whole = header() + el(0x18538067, info(300.0) + pcm_track() +
                                                          cluster(0, pcm_block(0, 1) + pcm_block(100, 2)) +
                                                          cluster(200, pcm_block(0, 3)), 8);
  const std::size_t second_cluster = whole.rfind(cluster(200, pcm_block(0, 3)));
  for (std::size_t cut : {second_cluster - 50, second_cluster + 3, whole.size() - 1}) {
    opened_file opened(whole.substr(0, cut), open_reason::decode);
    opened.input.initialize(0, 0, never_raised_abort_signal());
    audio_block block;
    std::uint32_t samples = 0;
    while (opened.input.run(block, never_raised_abort_signal())) samples += block.get_sample_count();
    EXPECT_EQ(samples, cut < second_cluster ? 100u : 200u) << "cut at " << cut;
    EXPECT_DOUBLE_EQ(opened.info().get_length(), 0.3);
  }
  EXPECT_THROW(retagged(whole.substr(0, whole.size() - 1), "title", "T"), FileNotTaggable);
}


TEST_F(MatroskaInput, EveryTagsElementIsReplacedEvenOneNoSeekHeadNames) {
  // The SeekHead names the first Tags only; a second one lies after the
  // cluster, where no reader looks. A retag leaves one Tags element, and
  // what only the unnamed one held does not come to light.
  const std::string first = el(tags_id, tag(targets(0), simple("TITLE", "First")));
  const std::string second = el(tags_id, tag(targets(0), simple("ARTIST", "Stale")));
  const std::string file =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, first},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}, {tags_id, second}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const std::string after = retagged(file, "album", "Fresh");
  opened_file reread(after, open_reason::info_write);
  EXPECT_EQ(reread.field("album"), "Fresh");
  EXPECT_EQ(reread.field("album artist"), "-");
  EXPECT_EQ(count_of(after, id_bytes(tags_id)), 2u);  // the SeekHead's entry and the element
}

TEST_F(MatroskaInput, AWriteKilledHalfWayLeavesTheNextWriteAsOnAnUntouchedFile) {
  // What a killed write leaves: its new Tags element after the cluster
  // before the SeekHead names it (or the old one once it does), and its
  // appended element after the Segment before the Segment grows over it.
  const std::string tags = el(tags_id, tag(targets(30), simple("TITLE", "First") + simple("ARTIST", "Kept")));
  const std::string written =
      el(tags_id, tag(targets(30), simple("TITLE", "First") + simple("ARTIST", "Kept") + simple("COMMENT", "New")));
  auto file = [&](const std::string& after_cluster) {
    std::vector<std::pair<std::uint32_t, std::string>> children{
        {0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, tags}, {0x1F43B675, cluster(0, pcm_block(0, 1))}};
    if (!after_cluster.empty()) children.emplace_back(tags_id, after_cluster);
    return header() + segment_with_seekhead(children, {0x1549A966, 0x1654AE6B, tags_id});
  };
  const std::string untouched = file("");
  const track_info_impl clean = opened_file(retagged(untouched, "comment", "New"), open_reason::info_write).info();
  for (const std::string& killed : {file(written), untouched + written, untouched + written.substr(0, 9)}) {
    const std::string after = retagged(killed, "comment", "New");
    const track_info_impl got = opened_file(after, open_reason::info_write).info();
    EXPECT_EQ(got.field_count(), clean.field_count());
    for (const char* name : {"title", "artist", "comment"}) {
      const std::uint32_t field = got.find_field(name);
      ASSERT_NE(field, track_info::not_found) << name;
      EXPECT_EQ(got.field_value_count(field), 1u) << name;
    }
    EXPECT_EQ(count_of(after, id_bytes(tags_id)), 2u);  // the SeekHead's entry and the element
  }
}

// Sets a comment in `file` through a caller's file object (no copy can
// replace it, so only a write in place succeeds), checks that every write
// into the old bytes that readers read (those before `unread_from`) but a
// first one follows a flush, and that a power cut at any point leaves the
// old tags or the new ones. Answers the disk.
service_ptr<io_test::model_file> commented_with_power_cuts(const std::string& file, const std::string& comment,
                                                           const std::string& old_comment = "-",
                                                           std::size_t unread_from = std::string::npos) {
  auto disk = io_test::make_model_file(file);
  {
    matroska_input input;
    input.open(vantrel_io::file_ptr(disk.get()), "", open_reason::info_write, never_raised_abort_signal());
    track_info_impl edit;
    input.get_info(0, edit, never_raised_abort_signal());
    edit.set_field("comment", track_info::until_nul, comment.c_str(), track_info::until_nul);
    input.set_info(0, edit);
    EXPECT_NO_THROW(input.commit(never_raised_abort_signal()));
  }
  EXPECT_EQ(opened_file(disk->bytes).field("comment"), comment);
  EXPECT_EQ(opened_file(disk->bytes).field("album"), "Old");
  for (std::size_t i = 0; i < disk->changes.size(); ++i) {
    const io_test::change_call& change = disk->changes[i];
    if (change.kind != io_test::change_call::write || change.position >= std::min(file.size(), unread_from)) continue;
    EXPECT_TRUE(i == 0 || disk->changes[i - 1].kind == io_test::change_call::flush)
        << "change " << i << " at " << change.position << " follows no flush";
  }
  for (std::size_t kept = 0; kept < disk->changes.size(); ++kept) {
    std::string album = "unreadable", now = "unreadable";
    try {
      opened_file after(io_test::disk_after_power_cut(file, disk->changes, kept));
      album = after.field("album");
      now = after.field("comment");
    } catch (const std::exception&) {
    }
    EXPECT_TRUE(album == "Old" && (now == old_comment || now == comment))
        << "cut with change " << kept << " on the disk: " << album << ", " << now.substr(0, 20);
  }
  return disk;
}

TEST_F(MatroskaInput, GrownTagsGoInPlaceBehindTheSegmentAndAPowerCutLeavesTheOldOrTheNewTags) {
  // The Tags before the Cluster have no room: the new ones go after the
  // Segment, which then grows over them, and the SeekHead switches to them.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  const std::string file =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, old_tags},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const auto disk = commented_with_power_cuts(file, std::string(5000, 'c'));
  std::size_t written_inside = 0;
  for (const io_test::change_call& change : disk->changes)
    if (change.kind == io_test::change_call::write && change.position < file.size())
      written_inside += change.bytes.size();
  EXPECT_LT(written_inside, 4096u);
}

TEST_F(MatroskaInput, GrownTagsTakeTheVoidsEarlierTagsLeftAndAPowerCutLeavesTheOldOrTheNewTags) {
  // Room after the Cluster that earlier Tags left: the new ones go in there
  // under the Void, and the file does not grow.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  const std::string file = header() + segment_with_seekhead({{0x1549A966, info()},
                                                             {0x1654AE6B, pcm_track()},
                                                             {tags_id, old_tags},
                                                             {0x1F43B675, cluster(0, pcm_block(0, 1))},
                                                             {0xEC, el(0xEC, std::string(3000, '\0'))},
                                                             {0xEC, el(0xEC, std::string(3000, '\0'))}},
                                                            {0x1549A966, 0x1654AE6B, tags_id});
  const auto disk = commented_with_power_cuts(file, std::string(5000, 'c'));
  EXPECT_EQ(disk->bytes.size(), file.size());

  // Where that room starts late in a page, a small element goes in at the
  // start of the next, and a later edit is one write there.
  auto starting_at = [&](std::size_t padding) {
    return header() + segment_with_seekhead({{0x1549A966, info()},
                                             {0x1654AE6B, pcm_track()},
                                             {void_id, el(void_id, std::string(padding, '\0'))},
                                             {tags_id, old_tags},
                                             {0x1F43B675, cluster(0, pcm_block(0, 1))},
                                             {void_id, el(void_id, std::string(3000, '\0'))},
                                             {void_id, el(void_id, std::string(3000, '\0'))}},
                                            {0x1549A966, 0x1654AE6B, tags_id});
  };
  const std::size_t run_from_end = 6000 + 2 * 3;  // the two Voids, their heads included
  const std::size_t late = 4000 + (4096 - 40 - (starting_at(4000).size() - run_from_end) % 4096);
  const std::string late_room = starting_at(late);
  const auto moved = commented_with_power_cuts(late_room, "First");
  EXPECT_EQ(moved->bytes.size(), late_room.size());
  const auto later = commented_with_power_cuts(moved->bytes, "A longer comment", "First");
  ASSERT_EQ(later->changes.size(), 1u);
  EXPECT_TRUE(vantrel_io::lies_within_one_page(later->changes[0].position, later->changes[0].bytes.size()));
}

TEST_F(MatroskaInput, MovedTagsKeepRoomSoThatLaterEditsAreOneWriteWithinOnePageWithNoFlush) {
  // The Tags between an attachment-sized Void and the Cluster have no room:
  // the first edit moves them behind the Segment, the Segment's growth and
  // the SeekHead's switch going down in one write. The Segment ends early
  // in a page, or so late in one that the Tags start the next.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  auto file_with = [&](std::size_t attachment) {
    return header() + segment_with_seekhead({{0x1549A966, info()},
                                             {0x1654AE6B, pcm_track()},
                                             {void_id, el(void_id, std::string(attachment, 'a'))},
                                             {tags_id, old_tags},
                                             {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                            {0x1549A966, 0x1654AE6B, tags_id});
  };
  constexpr std::size_t page = 4096;
  const std::size_t late_in_a_page = 10000 + (page - 60 - file_with(10000).size() % page);
  for (std::size_t attachment : {std::size_t{10000}, late_in_a_page}) {
    const std::string file = file_with(attachment);
    const auto first = commented_with_power_cuts(file, "First");
    // Before the switch, and before the old Tags become Void.
    EXPECT_EQ(std::count_if(first->changes.begin(), first->changes.end(),
                            [](const io_test::change_call& c) { return c.kind == io_test::change_call::flush; }),
              2);
    std::string laid_out = first->bytes;
    for (const std::string& comment : {std::string("A much longer comment than the first"), std::string("Short"),
                                       std::string(400, 'x'), std::string("Shrunk again")}) {
      const auto later = commented_with_power_cuts(laid_out, comment, opened_file(laid_out).field("comment"));
      ASSERT_EQ(later->changes.size(), 1u) << file.size() << ", " << comment.substr(0, 20);
      EXPECT_EQ(later->changes[0].kind, io_test::change_call::write);
      EXPECT_TRUE(vantrel_io::lies_within_one_page(later->changes[0].position, later->changes[0].bytes.size()));
      EXPECT_EQ(later->bytes.size(), laid_out.size());
      laid_out = later->bytes;
    }
  }
}

// Every field and value of an info, in order, for comparing two readings.
std::string fields_of(const track_info_impl& info) {
  std::string out;
  for (std::uint32_t field = 0; field < info.field_count(); ++field)
    for (std::uint32_t value = 0; value < info.field_value_count(field); ++value)
      out += std::string(info.field_name(field)) + "=" + info.field_value(field, value) + "\n";
  return out;
}

TEST_F(MatroskaInput, OldTagsInFrontOfTheClustersStandBesideTheNewOnlyWhereNoWriteSwitchesBothAndUntilTheNextWrite) {
  // Tags in front of the Cluster with no room, as ffmpeg writes them, move
  // behind the Segment. Readers that walk the Segment to its first Cluster
  // read the old element while it stands; those that follow the SeekHead
  // read the new one once it is named. Where the old element's head shares
  // the first page with the SeekHead and the Segment's size, one write
  // switches both; past it no order can, and the next write, even one that
  // changes nothing, turns the old element into Void.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("ARTIST", "Someone")));
  for (std::size_t attachment : {std::size_t{100}, std::size_t{10000}}) {
    const std::string file =
        header() + segment_with_seekhead({{0x1549A966, info()},
                                          {0x1654AE6B, pcm_track()},
                                          {void_id, el(void_id, std::string(attachment, 'a'))},
                                          {tags_id, old_tags},
                                          {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                         {0x1549A966, 0x1654AE6B, tags_id});
    const std::size_t old_at = file.find(old_tags);
    const bool one_page = old_at < 4096;
    auto old_stands = [&](const std::string& bytes) { return bytes.compare(old_at, 4, id_bytes(tags_id)) == 0; };
    const auto disk = commented_with_power_cuts(file, "New");
    const std::string clean = fields_of(opened_file(disk->bytes, open_reason::info_write).info());
    EXPECT_FALSE(old_stands(disk->bytes));
    EXPECT_EQ(std::count_if(disk->changes.begin(), disk->changes.end(),
                            [](const io_test::change_call& c) { return c.kind == io_test::change_call::flush; }),
              one_page ? 1 : 2);
    int both = 0;
    for (std::size_t kept = 0; kept < disk->changes.size(); ++kept) {
      const std::string cut = io_test::disk_after_power_cut(file, disk->changes, kept);
      if (!old_stands(cut) || opened_file(cut).field("comment") != "New") continue;
      ++both;
      EXPECT_EQ(fields_of(opened_file(cut, open_reason::info_write).info()), clean) << "change " << kept;
      const std::string mended = retagged(cut, "comment", "New");
      EXPECT_FALSE(old_stands(mended));
      EXPECT_EQ(fields_of(opened_file(mended, open_reason::info_write).info()), clean);
      // An edit that does change a value clears the old element before its
      // own switch, at every power cut.
      const auto newer = commented_with_power_cuts(cut, "Newer", "New");
      EXPECT_FALSE(old_stands(newer->bytes));
      for (std::size_t next = 0; next < newer->changes.size(); ++next) {
        const std::string state = io_test::disk_after_power_cut(cut, newer->changes, next);
        EXPECT_FALSE(old_stands(state) && opened_file(state).field("comment") == "Newer") << next;
      }
    }
    EXPECT_EQ(both > 0, !one_page) << attachment;
    // An untouched file, and one the edit left whole, take no write for no change.
    for (const std::string& whole : {file, disk->bytes})
      EXPECT_EQ(retagged(whole, "album", "Old"), whole);
  }
}

TEST_F(MatroskaInput, ASecondTagsElementInFrontOfTheClustersIsReadAndMergedUnlessTheNamedListsItAsTakenIn) {
  // The SeekHead names one Tags element; a second one stands before it in
  // front of the Cluster, where readers that walk the Segment read it.
  const std::string named = el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("ARTIST", "Someone")));
  const std::string other = el(tags_id, tag(targets(0), simple("COMPOSER", "Writer") + simple("COMMENT", "Said")));
  for (std::size_t attachment : {std::size_t{100}, std::size_t{10000}}) {
    auto file_with = [&](const std::string& second) {
      return header() + segment_with_seekhead({{0x1549A966, info()},
                                               {0x1654AE6B, pcm_track()},
                                               {void_id, el(void_id, std::string(attachment, 'a'))},
                                               {void_id, second},  // listed as no Tags
                                               {tags_id, named},
                                               {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                              {0x1549A966, 0x1654AE6B, tags_id});
    };
    const std::string file = file_with(other);
    EXPECT_EQ(opened_file(file).field("COMPOSER"), "Writer");
    EXPECT_EQ(opened_file(file).field("comment"), "Said");
    EXPECT_EQ(retagged(file, "album", "Old"), file);  // no change: both stay as they are
    for (const std::string& edited : {retagged(file, "title", "New title"), retagged(file, "COMPOSER", "Another")}) {
      opened_file reread(edited);
      EXPECT_EQ(reread.field("album") + reread.field("album artist") + reread.field("comment"), "OldSomeoneSaid");
      EXPECT_EQ(count_of(edited, id_bytes(tags_id)), 2u) << attachment;  // the SeekHead's entry and one element
    }
    EXPECT_EQ(opened_file(retagged(file, "title", "New title")).field("COMPOSER"), "Writer");
    // At every power cut of an edit of the second element's value the player
    // reads each value once, old or new (checked inside).
    const auto disk = commented_with_power_cuts(file, "Fresh", "Said");
    EXPECT_EQ(opened_file(disk->bytes).field("COMPOSER"), "Writer");
    EXPECT_EQ(count_of(disk->bytes, id_bytes(tags_id)), 2u);

    // Cut after the named element took the second one's values in and
    // before the second turned into Void: the second is not read, and any
    // write, also one that changes nothing, turns it into Void.
    // Where the second element's head shares the first page with the
    // SeekHead, one write switches both: no stop leaves it.
    const std::size_t other_at = file.find(other);
    std::string stale;
    for (std::size_t kept = 0; kept < disk->changes.size() && stale.empty(); ++kept) {
      const std::string cut = io_test::disk_after_power_cut(file, disk->changes, kept);
      if (cut.compare(other_at, other.size(), other) == 0 && opened_file(cut).field("comment") == "Fresh") stale = cut;
    }
    ASSERT_EQ(stale.empty(), other_at < 4096) << attachment;
    if (stale.empty()) continue;
    EXPECT_EQ(fields_of(opened_file(stale).info()), fields_of(opened_file(disk->bytes).info()));
    EXPECT_EQ(count_of(retagged(stale, "album", "Old"), id_bytes(tags_id)), 2u);
    const auto mended = commented_with_power_cuts(stale, "Newer", "Fresh");
    EXPECT_EQ(count_of(mended->bytes, id_bytes(tags_id)), 2u) << attachment;
    EXPECT_EQ(count_of(mended->bytes, "Said"), 1u);  // inside the second's Void
  }
}

TEST_F(MatroskaInput, ThousandsOfElementsAStoppedEditTookInAreNotReadAgain) {
  // The new element lists every element it takes in, however many: a list
  // too long to be read as one would bring a value the edit changed back
  // beside the new one after a stop that left the old elements.
  constexpr int count = 5000;
  std::string front;
  for (int i = 0; i < count; ++i)
    front += el(tags_id, tag(targets(50), simple("FIELD " + std::to_string(i), "value " + std::to_string(i))));
  const std::string named = el(tags_id, tag(targets(50), simple("TITLE", "Old")));
  const std::string file = header() + segment_with_seekhead({{0x1549A966, info()},
                                                             {0x1654AE6B, pcm_track()},
                                                             {tags_id, named},
                                                             {void_id, front},  // listed as no Tags
                                                             {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                                            {0x1549A966, 0x1654AE6B, tags_id});
  const std::string edited = retagged(file, "FIELD 7", "Changed");
  const std::string clean = fields_of(opened_file(edited).info());
  EXPECT_NE(clean.find("FIELD 7=Changed\n"), std::string::npos);
  EXPECT_EQ(clean.find("value 7\n"), std::string::npos);
  // The old elements turn into Void last, each in a change of its own: a
  // stop before the first leaves them all as they were.
  const std::size_t front_at = file.find(front);
  std::string stopped = edited;
  stopped.replace(front_at, front.size(), front);
  ASSERT_NE(stopped, edited);
  EXPECT_EQ(fields_of(opened_file(stopped).info()), clean);
  EXPECT_EQ(fields_of(opened_file(retagged(stopped, "album", "Old")).info()), clean);
}

// An edit of several fields at once: each set to its value, or removed
// where it has none.
using field_edit = std::vector<std::pair<const char*, const char*>>;

service_ptr<io_test::model_file> edited_on_disk(const std::string& file, const field_edit& changes) {
  auto disk = io_test::make_model_file(file);
  matroska_input input;
  input.open(vantrel_io::file_ptr(disk.get()), "", open_reason::info_write, never_raised_abort_signal());
  track_info_impl edit;
  input.get_info(0, edit, never_raised_abort_signal());
  for (const auto& [name, value] : changes) {
    if (value) edit.set_field(name, track_info::until_nul, value, track_info::until_nul);
    for (std::uint32_t field; !value && (field = edit.find_field(name)) != track_info::not_found;)
      edit.remove_field_value(field, 0);
  }
  input.set_info(0, edit);
  input.commit(never_raised_abort_signal());
  return disk;
}

std::string fields_after(const std::string& file, const field_edit& changes) {
  return fields_of(opened_file(edited_on_disk(file, changes)->bytes, open_reason::info_write).info());
}

TEST_F(MatroskaInput, ElementsOtherProgramsLeftAreReadWhateverTheirNamesAndEachValueOnce) {
  // Second elements whose TagNames the named one holds too, at the same
  // target and level: another language, nested SimpleTags, another value,
  // and a value the named one holds.
  const std::string named = el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("ARTIST", "Someone")));
  const std::string german = el(0x67C8, el(0x45A3, "ARTIST") + el(0x447A, "ger") + el(0x4487, "Jemand"));
  const std::string sorted =
      el(0x67C8, el(0x45A3, "ARTIST") + el(0x4487, "The Band") + simple("SORT_WITH", "Band, The"));
  for (const std::string& second :
       {german, sorted, simple("ARTIST", "Someone else"), simple("TITLE", "Old") + simple("ARTIST", "Another")}) {
    const std::string file = header() + segment_with_seekhead({{0x1549A966, info()},
                                                               {0x1654AE6B, pcm_track()},
                                                               {void_id, el(tags_id, tag(targets(0), second))},
                                                               {tags_id, named},
                                                               {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                                              {0x1549A966, 0x1654AE6B, tags_id});
    const std::string shown = fields_of(opened_file(file).info());
    EXPECT_EQ(count_of(shown, "=Old\n"), 1u) << shown;
    EXPECT_NE(shown.find("album artist=Someone"), std::string::npos) << shown;
    EXPECT_GT(count_of(shown, "album artist="), 1u) << shown;
    const std::string edited = edited_on_disk(file, {{"comment", "New"}})->bytes;
    std::string kept = fields_of(opened_file(edited).info());
    const std::size_t comment = kept.find("COMMENT=New\n");
    ASSERT_NE(comment, std::string::npos) << kept;
    EXPECT_EQ(kept.erase(comment, 12), shown);
    EXPECT_EQ(count_of(edited, id_bytes(tags_id)), 2u);  // the SeekHead's entry and the element
  }
}

TEST_F(MatroskaInput, AStoppedEditLeavesTheOldOrTheNewFieldsAndTheNextEditEndsAsAnUnstoppedOne) {
  // Another program's element beside the named one, holding values the
  // named one holds as well (one in a language said the other way), in the
  // first page and past it, and edits that remove what either holds, one
  // field or several.
  const std::string named = el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("ARTIST", "Someone")));
  const std::string title_in_bcp47_und = el(0x67C8, el(0x45A3, "TITLE") + el(0x447B, "und") + el(0x4487, "Old"));
  const std::string other = el(tags_id, tag(targets(0), simple("COMPOSER", "Writer") + simple("COMMENT", "Said") +
                                                            simple("ARTIST", "Someone") + title_in_bcp47_und));
  const std::vector<field_edit> edits{{{"title", "New title"}, {"album", nullptr}},
                                      {{"comment", nullptr}},
                                      {{"comment", "New"}, {"composer", nullptr}, {"album artist", nullptr}}};
  for (std::size_t attachment : {std::size_t{100}, std::size_t{10000}}) {
    const std::string file = header() + segment_with_seekhead({{0x1549A966, info()},
                                                               {0x1654AE6B, pcm_track()},
                                                               {void_id, el(void_id, std::string(attachment, 'a'))},
                                                               {void_id, other},  // listed as no Tags
                                                               {tags_id, named},
                                                               {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                                              {0x1549A966, 0x1654AE6B, tags_id});
    const std::string old = fields_of(opened_file(file, open_reason::info_write).info());
    EXPECT_EQ(count_of(old, "Someone"), 1u) << old;
    EXPECT_EQ(count_of(old, "=Old\n"), 1u) << old;
    const field_edit another{{"genre", "Rock"}};
    const std::string old_then_another = fields_after(file, another);
    for (const field_edit& edit : edits) {
      const auto disk = edited_on_disk(file, edit);
      const std::string clean = fields_of(opened_file(disk->bytes, open_reason::info_write).info());
      const std::string clean_then_another = fields_after(disk->bytes, another);
      for (std::size_t kept = 0; kept < disk->changes.size(); ++kept) {
        const std::string cut = io_test::disk_after_power_cut(file, disk->changes, kept);
        const std::string shown = fields_of(opened_file(cut, open_reason::info_write).info());
        const std::string where =
            std::to_string(attachment) + ", " + edit[0].first + ", change " + std::to_string(kept);
        EXPECT_TRUE(shown == old || shown == clean) << where << ":\n" << shown;
        const std::string again = edited_on_disk(cut, edit)->bytes;
        EXPECT_EQ(fields_of(opened_file(again, open_reason::info_write).info()), clean) << where;
        EXPECT_EQ(count_of(again, id_bytes(tags_id)), 2u) << where;
        EXPECT_EQ(fields_after(cut, another), shown == old ? old_then_another : clean_then_another) << where;
      }
    }
  }
}

TEST_F(MatroskaInput, ASeekHeadWithoutRoomBehindItIsLaidOutAnewWithinItsSize) {
  // As ffmpeg writes it: a CRC-32 first and positions in as few bytes as
  // they need; another program's Tags element took the Void behind it. The
  // moved Tags need a longer position than the old entry holds.
  const std::string named = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  const std::string other = el(tags_id, tag(targets(0), simple("COMPOSER", "Writer")));
  auto seek = [](std::uint32_t id, std::uint64_t position) {
    return el(0x4DBB, el(0x53AB, id_bytes(id)) + el(0x53AC, be(position, 1)));
  };
  std::string seekhead;
  for (int pass = 0; pass < 2; ++pass) {
    const std::size_t info_at = seekhead.size() + other.size(), tracks_at = info_at + info().size();
    seekhead = el(0x114D9B74, el(0xBF, std::string(4, '\0')) + seek(0x1549A966, info_at) +
                                  seek(0x1654AE6B, tracks_at) + seek(tags_id, tracks_at + pcm_track().size()));
  }
  const std::string file =
      header() + el(0x18538067, seekhead + other + info() + pcm_track() + named + cluster(0, pcm_block(0, 1)), 8);
  const std::string after = retagged(file, "comment", std::string(300, 'c').c_str());
  opened_file reread(after);
  EXPECT_EQ(reread.field("comment"), std::string(300, 'c'));
  EXPECT_EQ(reread.field("COMPOSER") + reread.field("album"), "WriterOld");
  EXPECT_EQ(count_of(after, id_bytes(tags_id)), 2u);  // the SeekHead's entry and one element
}

namespace {

// Where the Segment of a file made by segment_with_seekhead ends.
std::size_t segment_end(const std::string& bytes) {
  const std::size_t content = header().size() + 4 + 8;
  std::uint64_t size = 0;
  for (std::size_t i = 1; i < 8; ++i) size = size << 8 | static_cast<unsigned char>(bytes[header().size() + 4 + i]);
  return content + static_cast<std::size_t>(size);
}

std::string le32(std::uint32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// An APEv2 tag with one item, header and footer, as a tagger appends it.
std::string apev2_tag(const std::string& key, const std::string& value) {
  const std::string items = le32(static_cast<std::uint32_t>(value.size())) + le32(0) + key + '\0' + value;
  auto frame = [&](std::uint32_t flags) {
    return "APETAGEX" + le32(2000) + le32(static_cast<std::uint32_t>(items.size() + 32)) + le32(1) + le32(flags) +
           std::string(8, '\0');
  };
  return frame(0xA0000000u) + items + frame(0x80000000u);
}

}  // namespace

TEST_F(MatroskaInput, BytesBehindTheSegmentNoReaderReadsGoWithAnEditAndTagsAppendedThereStay) {
  // No room in front of the Cluster: the grown Tags go behind the Segment.
  const std::string old_tags = el(tags_id, tag(targets(0), simple("TITLE", "Old")));
  const std::string file =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, old_tags},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const std::string tags_second_page =
      el(tags_id, tag(targets(0), simple("COMMENT", std::string(6000, 'c')))).substr(4096);
  for (const std::string& behind : {std::string(771, '\0'), std::string(4096, '\0'), std::string(100, '\x01'),
                                    std::string("\x42\x86\x81"), tags_second_page}) {
    // In place through a caller's file object, at every power cut the old
    // tags or the new (checked inside), and a later edit as well.
    const auto disk = commented_with_power_cuts(file + behind, std::string(5000, 'c'), "-", file.size());
    EXPECT_EQ(segment_end(disk->bytes), disk->bytes.size()) << behind.size();
    const auto later = commented_with_power_cuts(disk->bytes, "Shorter", std::string(5000, 'c'));
    EXPECT_EQ(segment_end(later->bytes), later->bytes.size());
  }
  // What other programs read behind the Segment stays at the end of the file;
  // an edit that grows the Segment over its place moves it behind, where no
  // reader sees the file half done (a copy; here a file in memory).
  const std::string id3v1 = "TAG" + std::string(125, 'v');
  for (const std::string& appended : {apev2_tag("Artist", "Tagger"), id3v1, apev2_tag("Artist", "Both") + id3v1}) {
    for (const std::string& stray : {std::string(), std::string(50, '\0')}) {
      const std::string edited = retagged(file + stray + appended, "comment", std::string(5000, 'c').c_str());
      EXPECT_EQ(opened_file(edited).field("comment"), std::string(5000, 'c'));
      EXPECT_EQ(edited.substr(segment_end(edited)), appended);
    }
  }
}

TEST_F(MatroskaInput, TagsAppendedBehindTheSegmentStayWhenTagsThatEndItGrowOrShrink) {
  // Tags behind the Cluster that end the Segment, as mkvmerge writes them
  // and as ffmpeg's stand after a first edit: a growing edit grows the
  // Segment over where the appended tags stood.
  const std::string old_tags =
      el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("COMMENT", std::string(300, 'o'))));
  const std::string file =
      header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()},
                                        {0x1F43B675, cluster(0, pcm_block(0, 1))}, {tags_id, old_tags}},
                                       {0x1549A966, 0x1654AE6B, tags_id});
  const std::string id3v1 = "TAG" + std::string(125, 'v');
  const std::string apev2 = apev2_tag("Artist", std::string(3000, 'p'));
  // Without a header, as some taggers write it: its footer says so.
  const std::string items = le32(6) + le32(0) + "Album" + '\0' + "Record";
  const std::string footer_only = "APETAGEX" + le32(2000) + le32(static_cast<std::uint32_t>(items.size() + 32)) +
                                  le32(1) + le32(0) + std::string(8, '\0');
  const std::string apev2_without_header = items + footer_only;
  for (const std::string& appended : {apev2, apev2_without_header, id3v1, apev2 + id3v1,
                                      apev2_without_header + id3v1, header("webm")}) {
    for (const std::string& comment : {std::string(320, 'c'), std::string(6800, 'c'), std::string("Short")}) {
      const std::string edited = retagged(file + appended, "comment", comment.c_str());
      EXPECT_EQ(opened_file(edited).field("comment"), comment);
      EXPECT_EQ(opened_file(edited).field("album"), "Old");
      EXPECT_EQ(edited.substr(segment_end(edited)), appended) << appended.size() << ", " << comment.size();
    }
  }
  // Through a caller's file object no copy can take the change: a growing
  // edit is refused with the file as it was, a shrinking one goes down
  // where the Tags stand (the old tags or the new at every power cut).
  for (const std::string& appended : {apev2, id3v1}) {
    auto disk = io_test::make_model_file(file + appended);
    matroska_input input;
    input.open(vantrel_io::file_ptr(disk.get()), "", open_reason::info_write, never_raised_abort_signal());
    track_info_impl edit;
    input.get_info(0, edit, never_raised_abort_signal());
    edit.set_field("comment", track_info::until_nul, std::string(6800, 'c').c_str(), track_info::until_nul);
    input.set_info(0, edit);
    EXPECT_ANY_THROW(input.commit(never_raised_abort_signal()));
    EXPECT_TRUE(disk->changes.empty());
    EXPECT_EQ(disk->bytes, file + appended);
    const auto shrunk = commented_with_power_cuts(file + appended, "Short", std::string(300, 'o'));
    EXPECT_EQ(shrunk->bytes.substr(segment_end(shrunk->bytes)), appended);
  }
}

namespace {

// An EBML ID (with its marker) or size (without) at `at`, which it passes.
std::uint64_t read_vint(const std::string& bytes, std::size_t& at, bool marker_kept) {
  const auto first = static_cast<unsigned char>(bytes.at(at));
  unsigned length = 1;
  while (length < 8 && !(first & (0x80 >> (length - 1)))) ++length;
  std::uint64_t value = marker_kept ? first : first & (0xFF >> length);
  for (unsigned i = 1; i < length; ++i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  at += length;
  return value;
}

// The Seek entries of every top-level SeekHead that name an element their
// position does not hold, as "ID at position" texts; the SeekHeads' count.
std::vector<std::string> misleading_seek_entries(const std::string& bytes, std::size_t& seekheads) {
  std::size_t at = header().size() + 4;
  const std::uint64_t segment_size = read_vint(bytes, at, false);
  const std::size_t segment_start = at, segment_end = at + static_cast<std::size_t>(segment_size);
  std::vector<std::string> wrong;
  seekheads = 0;
  while (at < segment_end) {
    const std::uint64_t id = read_vint(bytes, at, true);
    const std::size_t end = at + static_cast<std::size_t>(read_vint(bytes, at, false));
    if (id == 0x114D9B74) {
      ++seekheads;
      for (std::size_t entry = at; entry < end;) {
        const std::uint64_t entry_id = read_vint(bytes, entry, true);
        const std::size_t entry_end = entry + static_cast<std::size_t>(read_vint(bytes, entry, false));
        std::string named;
        std::uint64_t position = 0;
        for (std::size_t child = entry; entry_id == 0x4DBB && child < entry_end;) {
          const std::uint64_t child_id = read_vint(bytes, child, true);
          const std::size_t size = static_cast<std::size_t>(read_vint(bytes, child, false));
          if (child_id == 0x53AB) named = bytes.substr(child, size);
          for (std::size_t i = 0; child_id == 0x53AC && i < size; ++i)
            position = position << 8 | static_cast<unsigned char>(bytes[child + i]);
          child += size;
        }
        if (!named.empty() && bytes.compare(segment_start + position, named.size(), named) != 0)
          wrong.push_back(std::to_string(static_cast<unsigned char>(named[0])) + " at " + std::to_string(position));
        entry = entry_end;
      }
    }
    at = end;
  }
  return wrong;
}

}  // namespace

TEST_F(MatroskaInput, TagsArePositionedOnlyInTheSeekHeadsThePlayerFollowsAndNoEntryNamesAVoid) {
  // The first SeekHead, as ffmpeg writes it (a CRC-32, positions in as few
  // bytes as they need), names Tags; a second one in front of the Clusters,
  // which it does not name, names them with room for any position, or names
  // a second Tags element. The player follows the first, ffprobe both.
  const std::string tags = el(tags_id, tag(targets(0), simple("TITLE", "Old") + simple("ARTIST", "Someone")));
  const std::string other = el(tags_id, tag(targets(0), simple("COMPOSER", "Writer")));
  auto seek = [](std::uint32_t id, std::uint64_t position, unsigned length) {
    return el(0x4DBB, el(0x53AB, id_bytes(id)) + el(0x53AC, be(position, length)));
  };
  enum shape { second_names_the_tags, second_names_another, first_names_none, first_without_room };
  auto file_with = [&](shape which) {
    std::string first, second;
    const std::string front_tags = which == first_names_none ? "" : tags;
    const std::string crc = which == first_without_room ? "" : el(0xBF, std::string(4, '\0'));
    for (int pass = 0; pass < 2; ++pass) {
      const std::size_t info_at = first.size() + second.size(), tracks_at = info_at + info().size();
      const std::size_t tags_at = tracks_at + pcm_track().size(), other_at = tags_at + front_tags.size();
      const std::size_t behind_cluster = tags_at + cluster(0, pcm_block(0, 1)).size();
      const std::string first_tags = which == first_names_none ? "" : seek(tags_id, tags_at, 1);
      first = el(0x114D9B74, crc + seek(0x1549A966, info_at, 1) + seek(0x1654AE6B, tracks_at, 1) + first_tags);
      const std::size_t second_target = which == second_names_another ? other_at
                                        : which == first_names_none   ? behind_cluster
                                                                      : tags_at;
      second = el(0x114D9B74, seek(tags_id, second_target, 8));
    }
    const std::string clustered = which == first_names_none
                                      ? cluster(0, pcm_block(0, 1)) + tags
                                      : front_tags + (which == second_names_another ? other : "") +
                                            cluster(0, pcm_block(0, 1));
    return header() + el(0x18538067, first + second + info() + pcm_track() + clustered, 8);
  };
  // Without a CRC-32 or a Void to lay the first SeekHead out anew, a longer
  // position does not fit it: moved Tags are refused, Tags that keep their
  // place are not.
  const std::string no_room = file_with(first_without_room);
  EXPECT_THROW(retagged(no_room, "comment", std::string(300, 'c').c_str()), FileNotTaggable);
  EXPECT_EQ(opened_file(retagged(no_room, "album", "New")).field("album"), "New");
  for (shape which : {second_names_the_tags, second_names_another, first_names_none}) {
    const std::string file = file_with(which);
    std::size_t seekheads = 0;
    ASSERT_TRUE(misleading_seek_entries(file, seekheads).empty());
    ASSERT_EQ(seekheads, 2u);
    // The grown Tags move behind the Cluster, past what one byte holds; a
    // short comment goes where the Tags stand.
    for (const std::string& comment : {std::string("Short"), std::string(300, 'c')}) {
      const std::string once = retagged(file, "comment", comment.c_str());
      const std::string twice = retagged(once, "genre", "Folk");
      for (const std::string& edited : {file, once, twice}) {
        opened_file reread(edited);
        EXPECT_EQ(reread.field("album") + reread.field("album artist"), "OldSomeone")
            << which << ", " << comment.size();
        if (which == second_names_another) {
          EXPECT_EQ(reread.field("COMPOSER"), "Writer");
        }
        EXPECT_EQ(misleading_seek_entries(edited, seekheads), std::vector<std::string>{});
      }
      EXPECT_EQ(opened_file(once).field("comment"), comment);
      EXPECT_EQ(opened_file(twice).field("comment") + opened_file(twice).field("genre"), comment + "Folk");
    }
    // In place, at every power cut the old tags or the new (checked inside).
    const auto disk = commented_with_power_cuts(file, std::string(300, 'c'));
    EXPECT_EQ(misleading_seek_entries(disk->bytes, seekheads), std::vector<std::string>{});
  }
}

TEST_F(MatroskaInput, ChapterLengthsStayWithinTheirEdition) {
  // The second edition starts again at 0: the last chapter of the first
  // runs to the end of the file instead of a wrapped length.
  const std::string chapters =
      el(0x1043A770, el(0x45B9, chapter(1, 0) + chapter(2, 500000000)) + el(0x45B9, chapter(3, 0)));
  opened_file file(header() + el(0x18538067, info(2000.0) + pcm_track() + chapters, 8));
  bool limited = true;
  EXPECT_DOUBLE_EQ(file.input.chapter_length(0, limited), 0.5);
  EXPECT_TRUE(limited);
  EXPECT_DOUBLE_EQ(file.input.chapter_length(1, limited), 1.5);
  EXPECT_FALSE(limited);
  EXPECT_DOUBLE_EQ(file.input.chapter_length(2, limited), 2.0);
  EXPECT_FALSE(limited);
  EXPECT_EQ(file.input.get_subsong_count(), 3u);
  EXPECT_EQ(file.input.get_subsong(2), 3u);
}

TEST_F(MatroskaInput, ABlockBeforeItsClusterStartsAtZero) {
  // A block 50 ms before a cluster at 0: its time is 0, not 2^64 ticks, so
  // a chapter of 0.15 s still plays its audio and ends within the next block.
  const std::string chapters = el(0x1043A770, el(0x45B9, chapter(1, 0, uint_el(0x92, 150000000, 4))));
  const std::string file = header() + el(0x18538067, info(300.0) + pcm_track() + chapters +
                                                         cluster(0, pcm_block(-50, 3) + pcm_block(100, 5)), 8);
  opened_file opened(file, open_reason::decode);
  opened.input.initialize(1, 0, never_raised_abort_signal());
  audio_block block;
  std::uint32_t samples = 0;
  while (opened.input.run(block, never_raised_abort_signal())) samples += block.get_sample_count();
  EXPECT_EQ(samples, 150u);
}

}  // namespace

namespace {

// Whether new Tags of `content` go into the file in steps whose every change
// readers see is one write within one page, as a retag in place needs.
bool tags_fit_one_write(const std::string& bytes, const std::string& content) {
  ebml_file_reader reader(memory_file(bytes), never_raised_abort_signal());
  matroska_file_scan scan;
  matroska_scan_file(scan, reader);
  matroska_find_every_tags(scan, reader);
  return matroska_tag_steps(scan, reader, std::vector<std::uint8_t>(content.begin(), content.end()),
                            tag_step_rule::each_change_one_write)
      .has_value();
}

}  // namespace

TEST_F(MatroskaInput, TagsGoInPlaceOnlyAsOneWriteWithinOnePage) {
  constexpr std::size_t page = 4096;
  const std::string old_content = tag(targets(0), simple("TITLE", "Old"));
  // A Void before the Tags places them where a case needs them.
  auto file_with = [&](std::size_t padding, std::size_t room, const std::string& more = "") {
    return header() + el(0x18538067, info() + pcm_track() + el(void_id, std::string(padding, '\0')) +
                                         el(tags_id, old_content) + el(void_id, std::string(room, '\0')) + more +
                                         cluster(0, pcm_block(0, 1)), 8);
  };
  const std::string file = file_with(10, 100);
  EXPECT_TRUE(tags_fit_one_write(file, old_content));
  EXPECT_TRUE(tags_fit_one_write(file, tag(targets(0), simple("TITLE", "New"))));
  EXPECT_TRUE(tags_fit_one_write(file, tag(targets(0), simple("TITLE", "A longer title"))));
  // Past its Void the element would move: several writes.
  EXPECT_FALSE(tags_fit_one_write(file, tag(targets(0), simple("TITLE", std::string(200, 'x')))));
  // A second Tags element would have to become Void as well.
  EXPECT_FALSE(tags_fit_one_write(file_with(10, 100, el(tags_id, old_content)), old_content));
  // The changed bytes would lie across a page boundary.
  std::string across;
  for (std::size_t padding = 3900; across.empty(); ++padding)
    if (const std::string shaped = file_with(padding, 100); shaped.find("Old") % page == page - 1) across = shaped;
  EXPECT_FALSE(tags_fit_one_write(across, tag(targets(0), simple("TITLE", "New"))));
  EXPECT_TRUE(tags_fit_one_write(across, tag(targets(0), simple("TITLE", "Odd"))));
}
