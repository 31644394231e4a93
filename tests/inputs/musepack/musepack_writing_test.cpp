// The Musepack header ReplayGain encodings, the in-place header rewrites
// and the chapter packet rewrite, on files built byte by byte in memory
// (no encoder writes version 7 streams any more).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "inputs/musepack/musepack_audio_end.h"
#include "inputs/musepack/musepack_chapter_edit.h"
#include "inputs/musepack/musepack_chapter_table.h"
#include "inputs/musepack/musepack_chapter_value_not_stored.h"
#include "inputs/musepack/musepack_chapter_writing.h"
#include "inputs/musepack/musepack_gain_edit.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_packets.h"
#include "inputs/musepack/musepack_seek_table.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/retag_through_temp_file.h"
#include "foundation/work_steps.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using io_test::no_abort;

using io_test::memory_rewrite;

vantrel_io::file_ptr file_with(const bytes& content) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  if (!content.empty()) file->write(content.data(), std::uint32_t(content.size()), no_abort());
  return file;
}

bytes content_of(vantrel_io::file_object& file) {
  bytes out(static_cast<std::size_t>(file.get_size(no_abort())));
  file.seek(0, no_abort());
  if (!out.empty()) file.read(out.data(), std::uint32_t(out.size()), no_abort());
  return out;
}

bytes packet(const char* key, bytes payload) {
  bytes out(payload.size() + 3);
  out[0] = std::uint8_t(key[0]);
  out[1] = std::uint8_t(key[1]);
  out[2] = std::uint8_t(payload.size() + 3);
  std::copy(payload.begin(), payload.end(), out.begin() + 3);
  return out;
}

bytes concat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const bytes stream_magic = {'M', 'P', 'C', 'K'};

replaygain_info gains(float track_gain, float track_peak, float album_gain, float album_peak) {
  replaygain_info r;
  r.track_gain = track_gain;
  r.track_peak = track_peak;
  r.album_gain = album_gain;
  r.album_peak = album_peak;
  return r;
}

std::uint16_t le16(const bytes& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

TEST(MusepackHeaderReplayGain, EncodingsRoundTripAndClampInsteadOfWrapping) {
  EXPECT_EQ(musepack::gain_to_header(replaygain_info::gain_absent), 0);
  EXPECT_EQ(musepack::peak_to_header(replaygain_info::peak_absent), 0);
  EXPECT_NEAR(musepack::gain_from_header(256), 63.82f, 1e-4);
  EXPECT_NEAR(musepack::gain_from_header(musepack::gain_to_header(-7.25f)), -7.25f, 1.0f / 256);
  EXPECT_NEAR(musepack::peak_from_header(musepack::peak_to_header(0.8f)), 0.8f, 0.001f);
  // A gain far above the reference and one far below stay inside 16 bits.
  EXPECT_EQ(musepack::gain_to_header(100.0f), 0);
  EXPECT_EQ(musepack::gain_to_header(-300.0f), 65535);
  EXPECT_EQ(musepack::peak_to_header(0.0f), 0);
}

TEST(MusepackHeaderReplayGain, VersionSevenHeaderChangesOnlyItsGainBytes) {
  std::uint8_t header[20];
  for (int i = 0; i < 20; ++i) header[i] = std::uint8_t(0xA0 + i);
  std::memcpy(header, "MP+\x17", 4);
  std::uint8_t before[20];
  std::memcpy(before, header, 20);
  musepack::patch_v7_header(header, gains(0.0f, 2.0f, -3.5f, 0.5f));
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11}) EXPECT_EQ(header[i], before[i]) << i;
  const bytes b(header, header + 20);
  EXPECT_EQ(le16(b, 14), 0xFFFF) << "a gain of 0.00 dB must not read as 'no gain'";
  EXPECT_EQ(le16(b, 18), std::uint16_t(-350));
  // A peak of 2.0 is 65536 at this scale: clamped, not wrapped to 0.
  EXPECT_EQ(le16(b, 12), 65535);
  EXPECT_EQ(le16(b, 8), 55539);
  EXPECT_EQ(le16(b, 16), 16384);
  musepack::patch_v7_header(header, replaygain_info{});
  EXPECT_EQ(le16(bytes(header, header + 20), 14), 0);
  EXPECT_EQ(le16(bytes(header, header + 20), 12), 0);
}

TEST(MusepackHeaderReplayGain, WritesVersionSevenAndEightHeadersInPlace) {
  bytes v7 = {0xFF, 0xFF, 'M', 'P', '+', 0x07};
  v7.resize(2 + 20 + 40, 0x11);
  auto file = file_with(v7);
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 2, gains(-1.0f, 0.5f, -2.0f, 0.5f), no_abort()));
  const bytes after7 = content_of(*file);
  ASSERT_EQ(after7.size(), v7.size());
  EXPECT_EQ(le16(after7, 2 + 14), std::uint16_t(-100));
  EXPECT_TRUE(std::equal(after7.begin() + 22, after7.end(), v7.begin() + 22));

  const bytes v8 = concat({stream_magic, packet("SH", bytes(8, 1)), packet("RG", bytes(12, 7)),
                           packet("EI", bytes(3, 2)), packet("AP", bytes(20, 9)), packet("SE", {})});
  file = file_with(v8);
  EXPECT_TRUE(
      musepack::write_header_replaygain(*file, 0, gains(-6.0f, 1.0f, replaygain_info::gain_absent, -1.0f), no_abort()));
  const bytes after8 = content_of(*file);
  ASSERT_EQ(after8.size(), v8.size()) << "the RG packet keeps its length";
  const std::size_t rg = 4 + 11;
  EXPECT_EQ(after8[rg + 3], 1);
  EXPECT_EQ(after8[rg + 4] << 8 | after8[rg + 5], musepack::gain_to_header(-6.0f));
  EXPECT_EQ(after8[rg + 6] << 8 | after8[rg + 7], musepack::peak_to_header(1.0f));
  EXPECT_EQ(bytes(after8.begin() + rg + 8, after8.begin() + rg + 15), bytes(7, 0)) << "album absent, padding zero";
  EXPECT_TRUE(std::equal(after8.begin() + rg + 15, after8.end(), v8.begin() + rg + 15));

  // A header across a page boundary, whose peak and gains both change,
  // would take a write the system may split: refused, nothing written.
  bytes straddling(4080, 0x22);
  straddling.insert(straddling.end(), {'M', 'P', '+', 0x07});
  straddling.resize(4080 + 20 + 40, 0x11);
  file = file_with(straddling);
  EXPECT_THROW(musepack::write_header_replaygain(*file, 4080, gains(-1.0f, 0.5f, -2.0f, 0.5f), no_abort()),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*file), straddling);

  file = file_with(bytes(30, 'x'));
  EXPECT_FALSE(musepack::write_header_replaygain(*file, 0, gains(1, 1, 1, 1), no_abort())) << "not ours: left to the tag";
}

TEST(MusepackHeaderReplayGain, ValuesAsTheHeaderReadsThemKeepTheirStoredBytes) {
  // Peaks of 0x1D67 read back as a float that encodes to 0x1D66: a write
  // that does not change them must not round them either.
  bytes v7 = {'M', 'P', '+', 0x07};
  v7.resize(20, 0);
  v7[12] = v7[16] = 0x67;
  v7[13] = v7[17] = 0x1D;
  const replaygain_info current = gains(-3.0f, 0x1D67 / 32768.0f * 0.99999f, -3.0f, 0.25f);
  auto file = file_with(v7);
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, current, no_abort(), &current));
  EXPECT_EQ(content_of(*file), v7) << "nothing changed, nothing written";
  replaygain_info changed = current;
  changed.track_gain = -1.0f;
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, changed, no_abort(), &current));
  const bytes after = content_of(*file);
  EXPECT_EQ(le16(after, 14), std::uint16_t(-100));
  EXPECT_EQ(le16(after, 12), 0x1D67) << "peaks kept";
  EXPECT_EQ(le16(after, 16), 0x1D67);

  const bytes v8 = concat({stream_magic, packet("RG", {1, 0x3F, 0x10, 0x4D, 0x67, 0x3F, 0x10, 0x4D, 0x66, 0xAB}),
                           packet("SE", {})});
  file = file_with(v8);
  const replaygain_info read = gains(1.0f, 0.5f, 1.0f, 0.5f);
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, read, no_abort(), &read));
  EXPECT_EQ(content_of(*file), v8) << "the packet's extra byte and the stored values stay";
}

TEST(MusepackGainEdit, AValueGoesWhereTheEditChangedItAndNowhereElse) {
  replaygain_info header, tag;
  header.track_gain = -3.0f;
  header.album_gain = -4.0f;
  tag.track_gain = -6.095f;
  tag.track_peak = 0.9f;
  const replaygain_info shown = replaygain_merge(header, tag);
  const auto edit = [&](float replaygain_info::*value, float to) {
    replaygain_info edited = shown;
    edited.*value = to;
    return edited;
  };
  const struct {
    const char* why;
    replaygain_info edited;
    bool header_found;
    float header_track_gain, header_album_gain, tag_track_gain, tag_album_gain, tag_track_peak;
  } cases[] = {
      {"nothing changed: each stays where it stands", shown, true, -3.0f, -4.0f, -6.095f, replaygain_info::gain_absent,
       0.9f},
      {"a value both hold changes in both", edit(&replaygain_info::track_gain, -2.0f), true, -2.0f, -4.0f, -2.0f,
       replaygain_info::gain_absent, 0.9f},
      {"a value the tag lacks goes into the header alone", edit(&replaygain_info::album_gain, -5.0f), true, -3.0f,
       -5.0f, -6.095f, replaygain_info::gain_absent, 0.9f},
      {"without a header the tag takes it", edit(&replaygain_info::album_gain, -5.0f), false, -3.0f, -5.0f, -6.095f,
       -5.0f, 0.9f},
      {"a removal leaves the tag", edit(&replaygain_info::track_peak, replaygain_info::peak_absent), true, -3.0f,
       -4.0f, -6.095f, replaygain_info::gain_absent, replaygain_info::peak_absent},
  };
  for (const auto& c : cases) {
    const replaygain_info in_header = musepack::header_gain_after_edit(header, shown, c.edited);
    const replaygain_info in_tag = musepack::tag_gain_after_edit(tag, shown, c.edited, c.header_found);
    EXPECT_EQ(c.header_track_gain, in_header.track_gain) << c.why;
    EXPECT_EQ(c.header_album_gain, in_header.album_gain) << c.why;
    EXPECT_EQ(c.tag_track_gain, in_tag.track_gain) << c.why;
    EXPECT_EQ(c.tag_album_gain, in_tag.album_gain) << c.why;
    EXPECT_EQ(c.tag_track_peak, in_tag.track_peak) << c.why;
  }
}

TEST(MusepackAudioEnd, FollowsTheStreamsOwnFraming) {
  const bytes v8 = concat({bytes(10, 'I'), stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                           packet("SE", {}), bytes(40, 'T')});
  auto file = file_with(v8);
  EXPECT_EQ(musepack::find_audio_end(*file, 10, v8.size() - 40, no_abort()), v8.size() - 40);
  // Tags that begin inside a whole stream do not move its end.
  EXPECT_EQ(musepack::find_audio_end(*file, 10, v8.size() - 45, no_abort()), v8.size() - 40);
  // Cut inside the audio: the last packet that begins in the file.
  const bytes cut(v8.begin(), v8.begin() + 30);
  file = file_with(cut);
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut.size(), no_abort()), 10u + 4 + 11);
  // The same cut with a tag after it long enough to hold the rest of the cut
  // packet and more: the audio still ends where the cut packet begins.
  file = file_with(concat({cut, bytes(60, 'T')}));
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut.size(), no_abort()), 10u + 4 + 11);
  // Cut just after a packet, a tag in the place of the next: the tag's start.
  const bytes cut_between(v8.begin(), v8.begin() + 10 + 4 + 11 + 23);
  file = file_with(concat({cut_between, {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'}, bytes(80, 'T')}));
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut_between.size(), no_abort()), cut_between.size());

  // Version 7: after "MP+7", one run of bits from the top of little-endian
  // words: 168 header bits (3 frames), two frames of 20 + 8 bits, one of
  // 20 + 100 bits and the last frame's 11-bit sample count end at bit 355,
  // in the twelfth word.
  std::string bits = std::string(30, '0') + "11" + std::string(136, '0');
  for (std::uint32_t length : {8u, 8u, 100u}) {
    for (int b = 19; b >= 0; --b) bits += ((length >> b) & 1) ? '1' : '0';
    bits += std::string(length, '0');
  }
  bits += std::string(11, '0');
  bits.resize((bits.size() + 31) / 32 * 32, '0');
  bytes v7 = {'M', 'P', '+', 0x07};
  for (std::size_t w = 0; w < bits.size(); w += 32) {
    const std::uint32_t word = std::stoul(bits.substr(w, 32), nullptr, 2);
    for (int i = 0; i < 4; ++i) v7.push_back(std::uint8_t(word >> (8 * i)));
  }
  v7.resize(v7.size() + 64, 'T');
  file = file_with(v7);
  EXPECT_EQ(musepack::find_audio_end(*file, 0, v7.size(), no_abort()), 4u + 11 * 4);
  v7[4] = 200;  // more frames than the file holds: no bound
  file = file_with(v7);
  EXPECT_EQ(musepack::find_audio_end(*file, 0, v7.size(), no_abort()), 0u);
}

// A stream whose "SO" packet (at 15) points at a seek table (at 42) whose
// first entry, after the entry count and four bits, is `first_entry`; the
// one audio packet lies at 19.
bytes stream_with_table(std::uint8_t first_entry) {
  const std::uint8_t shifted[2] = {std::uint8_t(first_entry >> 4), std::uint8_t(first_entry << 4)};
  return concat({stream_magic, packet("SH", bytes(8, 1)), packet("SO", {27}), packet("AP", bytes(20, 9)),
                 packet("ST", {1, shifted[0], shifted[1]}), packet("SE", {})});
}

TEST(MusepackSeekTable, TablesThatMissTheAudioAreFound) {
  auto file = file_with(stream_with_table(19));
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort()), musepack::no_stale_table);
  file = file_with(stream_with_table(23));
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort()), 15u) << "the packet that leads to the table";
  // Cut before the table: nothing to judge it by.
  const bytes stale = stream_with_table(23);
  file = file_with(bytes(stale.begin(), stale.begin() + 30));
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort()), musepack::no_stale_table);
}

TEST(MusepackAudioEnd, ACutSeekTableIsTheOnlyPartLost) {
  const bytes whole = stream_with_table(19);
  for (std::size_t cut : {45u, 47u}) {
    auto file = file_with(bytes(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, cut, no_abort()), 42u) << cut;
    // Read only up to a point inside the audio: the audio is what is cut.
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, 30, no_abort()), vantrel_io::filesize_unknown) << cut;
  }
  for (std::size_t cut : {std::size_t(30), whole.size()}) {
    auto file = file_with(bytes(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, cut, no_abort()), vantrel_io::filesize_unknown)
        << "a cut in the audio, or none: " << cut;
  }
}

TEST(MusepackHeaderReplayGain, RefusesStreamsWithoutAFittingPacket) {
  const bytes no_rg = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(5, 9)), packet("SE", {})});
  const bytes short_rg = concat({stream_magic, packet("RG", bytes(4, 0)), packet("SE", {})});
  const bytes long_size = concat({stream_magic, {'R', 'G', 0x81, 0x81, 0x81, 0x81, 0x00}});
  for (const bytes& content : {no_rg, short_rg, long_size}) {
    auto file = file_with(content);
    EXPECT_THROW(musepack::write_header_replaygain(*file, 0, gains(1, 1, 1, 1), no_abort()),
                 vantrel_io::exception_io_data);
    EXPECT_EQ(content_of(*file), content);
  }
}

TEST(MusepackPackets, SizeNumbersUseSevenBitGroups) {
  EXPECT_EQ(musepack::encode_packet_number(0x7F), bytes({0x7F}));
  EXPECT_EQ(musepack::encode_packet_number(0x80), bytes({0x81, 0x00}));
  EXPECT_EQ(musepack::encode_packet_number(44100), bytes({0x82, 0xD8, 0x44}));
}

// A chapter packet as mpcchap writes one: its start, no gain or peak, and a
// tag holding its track number, title and artist.
bytes chapter_packet(std::uint64_t start, const apev2::item_list& items) {
  bytes payload = musepack::encode_packet_number(start);
  payload.resize(payload.size() + 4);
  const bytes tag = apev2::render_tag_bytes(items);
  payload.insert(payload.end(), tag.begin(), tag.end());
  return musepack::packet_bytes("CT", payload);
}

bytes chapter_packet(std::uint64_t start, const char* track, const char* title, const char* artist) {
  return chapter_packet(start, {{false, 0, "Track", track}, {false, 0, "Title", title}, {false, 0, "Artist", artist}});
}

const bytes three_chapters = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                                     chapter_packet(0, "1/3", "One", "Chapter Artist"),
                                     chapter_packet(44100, "2/3", "Two", "Chapter Artist"),
                                     chapter_packet(88200, "3/3", "Three", "Chapter Artist"), packet("SE", {})});

musepack::chapter_table table_of(const bytes& content) {
  auto file = file_with(content);
  return musepack::read_chapter_table(*file, 0, content.size(), 132300, no_abort());
}

void set(track_info& info, const char* name, const char* value) {
  info.set_field(name, track_info::until_nul, value, track_info::until_nul);
}

// A file whose own tag holds its title and artist, which every chapter's
// own title and artist hide, and an album and genre no chapter holds.
struct chaptered_file {
  musepack::chapter_table table = table_of(three_chapters);
  track_info_impl file;
  std::vector<track_info_impl> shown;

  chaptered_file() {
    set(file, "TITLE", "File Title");
    set(file, "ARTIST", "File Artist");
    set(file, "ALBUM", "The Album");
    set(file, "GENRE", "Jazz");
    for (const musepack::chapter_packet& c : table.chapters) {
      apev2::item_list items;
      c.read_items(items);
      track_info_impl reads(file);
      musepack::overlay_chapter(reads, c.gain, c.peak, items);
      shown.push_back(reads);
    }
  }
};

const char* value_of(const track_info& info, const char* name) {
  const std::uint32_t field = info.find_field(name);
  return field == track_info::not_found ? "" : info.field_value(field, 0);
}

musepack::chapter_packet reread(const bytes& chapter) {
  const musepack::chapter_table table = table_of(concat({stream_magic, chapter, packet("SE", {})}));
  return table.chapters.size() == 1 ? table.chapters[0] : musepack::chapter_packet();
}

std::string tag_value(const bytes& chapter, const char* key) {
  apev2::item_list items;
  if (!reread(chapter).read_items(items)) return "unreadable";
  for (const apev2::item& i : items)
    if (i.key == key) return i.value;
  return "";
}

TEST(MusepackChapters, ChapterPacketsAreReadAndDamagedOnesLeftOut) {
  const musepack::chapter_table sound = table_of(three_chapters);
  ASSERT_EQ(sound.chapters.size(), 3u);
  EXPECT_FALSE(sound.damaged);
  EXPECT_EQ(sound.chapters[2].start_sample, 88200u);
  EXPECT_EQ(sound.chapters[1].bytes, chapter_packet(44100, "2/3", "Two", "Chapter Artist"));

  // Each chapter packet's size byte set to 0, one at a time: the packets
  // before it are the chapters, the search ends there.
  const std::size_t first = 4 + 11 + 23;
  std::size_t at = first;
  for (std::size_t damaged = 0; damaged < 3; ++damaged) {
    bytes content = three_chapters;
    content[at + 2] = 0;
    const musepack::chapter_table table = table_of(content);
    EXPECT_TRUE(table.damaged);
    EXPECT_EQ(table.chapters.size(), damaged);
    at += three_chapters[at + 2];
  }
  // A packet too short for its start, gain and peak, and one starting
  // before the chapter ahead of it, are left out; the others stay.
  const bytes odd = concat({stream_magic, chapter_packet(44100, "1/3", "One", "A"), packet("CT", {0x05}),
                            chapter_packet(100, "2/3", "Back", "A"), chapter_packet(88200, "3/3", "Three", "A"),
                            chapter_packet(500000, "4/3", "Past", "A"), packet("SE", {})});
  const musepack::chapter_table table = table_of(odd);
  EXPECT_TRUE(table.damaged);
  ASSERT_EQ(table.chapters.size(), 2u);
  EXPECT_EQ(table.chapters[1].start_sample, 88200u);
}

TEST(MusepackChapters, AChapterCutShortIsNotReadIntoTheTagWrittenAfterTheCut) {
  const std::size_t second = 4 + 11 + 23 + three_chapters[4 + 11 + 23 + 2];
  const bytes cut(three_chapters.begin(), three_chapters.begin() + second + 20);
  const bytes tag = apev2::render_tag({{false, 0, "Title", "Written after the cut"}}, true);
  const bytes tagged = concat({cut, tag});
  const musepack::chapter_table table =
      musepack::read_chapter_table(*file_with(tagged), 0, cut.size(), 132300, no_abort());
  EXPECT_TRUE(table.damaged);
  ASSERT_EQ(table.chapters.size(), 1u);
  EXPECT_EQ(table.chapters[0].bytes, chapter_packet(0, "1/3", "One", "Chapter Artist"));

  // A stream that ends whole keeps its chapters, whatever a damaged
  // trailing tag claims of it.
  const musepack::chapter_table whole =
      musepack::read_chapter_table(*file_with(three_chapters), 0, second, 132300, no_abort());
  EXPECT_FALSE(whole.damaged);
  EXPECT_EQ(whole.chapters.size(), 3u);
}

TEST(MusepackChapters, AnEditChangesOnlyTheValuesTheUserChanged) {
  {
    chaptered_file f;
    const track_info_impl before(f.file);
    // A chapter's own title written back, and a removal of a field no one holds.
    std::vector<track_info_impl> edited = f.shown;
    qiv::bit_array nothing(edited[0].field_count());
    edited[0].remove_fields(nothing);
    const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file);
    for (const auto& r : rewrites) EXPECT_FALSE(r.has_value());
    EXPECT_TRUE(tag_changes::between(before, f.file).empty());
  }
  {
    chaptered_file f;
    const track_info_impl before(f.file);
    std::vector<track_info_impl> edited = f.shown;
    set(edited[2], "TITLE", "Dritte");
    const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file);
    EXPECT_FALSE(rewrites[0].has_value() || rewrites[1].has_value());
    ASSERT_TRUE(rewrites[2].has_value());
    EXPECT_EQ(tag_value(*rewrites[2], "Title"), "Dritte");
    EXPECT_EQ(tag_value(*rewrites[2], "Track"), "3/3");
    EXPECT_EQ(tag_value(*rewrites[2], "Artist"), "Chapter Artist");
    EXPECT_TRUE(tag_changes::between(before, f.file).empty()) << "the file's title and artist stay";
  }
  {
    // The album, which the file's tag alone holds, changed on every chapter.
    chaptered_file f;
    std::vector<track_info_impl> edited = f.shown;
    for (track_info_impl& e : edited) set(e, "ALBUM", "New Album");
    const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file);
    for (const auto& r : rewrites) EXPECT_FALSE(r.has_value());
    EXPECT_STREQ(value_of(f.file, "ALBUM"), "New Album");
    EXPECT_STREQ(value_of(f.file, "TITLE"), "File Title");
  }
  {
    // The artist, which the file and every chapter hold, changed on every chapter.
    chaptered_file f;
    std::vector<track_info_impl> edited = f.shown;
    for (track_info_impl& e : edited) set(e, "ARTIST", "New Artist");
    const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file);
    for (const auto& r : rewrites) ASSERT_TRUE(r.has_value() && tag_value(*r, "Artist") == "New Artist");
    EXPECT_STREQ(value_of(f.file, "ARTIST"), "New Artist");
  }
  {
    // A new field on one chapter goes into its own tag; a track gain into its packet.
    chaptered_file f;
    std::vector<track_info_impl> edited = f.shown;
    set(edited[0], "COMPOSER", "Someone");
    replaygain_info gain = edited[1].get_replaygain();
    gain.track_gain = -3.25f;
    edited[1].set_replaygain(gain);
    const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file);
    ASSERT_TRUE(rewrites[0].has_value() && rewrites[1].has_value());
    EXPECT_EQ(tag_value(*rewrites[0], "Composer"), "Someone");
    const musepack::chapter_packet second = reread(*rewrites[1]);
    EXPECT_EQ(second.gain, musepack::gain_to_header(-3.25f));
    EXPECT_EQ(bytes(second.tag(), second.tag() + second.tag_size()),
              bytes(f.table.chapters[1].tag(), f.table.chapters[1].tag() + f.table.chapters[1].tag_size()))
        << "its tag stays as it was";
  }
  {
    // The genre removed from one chapter: the file's tag still gives it to
    // that chapter, so nothing is planned.
    chaptered_file f;
    std::vector<track_info_impl> edited = f.shown;
    qiv::bit_array genre(edited[1].field_count());
    genre.set(edited[1].find_field("GENRE"), true);
    edited[1].remove_fields(genre);
    EXPECT_THROW(musepack::plan_chapter_edit(f.table.chapters, f.shown, edited, f.file),
                 exception_chapter_value_not_stored);
  }
}

TEST(MusepackChapters, PacketsAreReplacedBeforeTheStreamEndKeepingStarts) {
  const bytes old = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                            packet("CT", bytes(6, 5)), packet("CT", bytes(6, 6)), packet("SE", {}), bytes(10, 'T')});
  auto live = file_with(old);
  const std::vector<bytes> chapters = {chapter_packet(44100, "1", "One", "Art"),
                                      chapter_packet(132300, "2", "Two", "Art")};
  // Packets that change their length take many writes: without a
  // temporary file the write is refused before any byte changes.
  retag_in_place in_place;
  EXPECT_THROW(musepack::write_chapter_packets(live, in_place, 0, chapters, nullptr, no_abort()),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*live), old);
  memory_rewrite rewrite;
  musepack::write_chapter_packets(live, rewrite, 0, chapters, nullptr, no_abort());
  EXPECT_EQ(content_of(*live), old) << "the file changes only by the caller's commit";
  ASSERT_TRUE(rewrite.made);
  vantrel_io::file_ptr file = rewrite.made;
  const bytes after = content_of(*file);
  const std::size_t kept = 4 + 11 + 23;
  ASSERT_GT(after.size(), kept);
  EXPECT_TRUE(std::equal(old.begin(), old.begin() + kept, after.begin())) << "audio untouched";
  musepack::packet_reader reader(*file, kept);
  std::vector<std::uint64_t> starts;
  for (;;) {
    const musepack::packet_header p = reader.next(no_abort());
    ASSERT_TRUE(p.found);
    if (p.is("SE")) break;
    ASSERT_TRUE(p.is("CT"));
    bytes payload(static_cast<std::size_t>(p.payload_size));
    file->seek(p.payload_position(), no_abort());
    file->read(payload.data(), std::uint32_t(payload.size()), no_abort());
    std::uint64_t start = 0;
    for (std::size_t i = 0;; ++i) {
      start = start << 7 | (payload[i] & 0x7F);
      if (!(payload[i] & 0x80)) break;
    }
    starts.push_back(start);
  }
  EXPECT_EQ(starts, (std::vector<std::uint64_t>{44100, 132300})) << "each chapter keeps its own start";
  EXPECT_EQ(bytes(after.end() - 10, after.end()), bytes(10, 'T')) << "the trailing tag follows the stream end";
}

// Chapters whose shared values move into the file's tag: both change in
// one write, or a crash between two would leave the values in neither.
TEST(MusepackChapters, ChaptersAndTheFilesTagsChangeInOneWrite) {
  const bytes leading = bytes(12, 'L'), trailing = bytes(10, 'T');
  const bytes stream = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                               packet("CT", bytes(6, 5)), packet("CT", bytes(6, 6)), packet("SE", {})});
  const bytes old = concat({leading, stream, trailing});
  const std::vector<bytes> chapters = {chapter_packet(0, "1", "One", "Art"), chapter_packet(44100, "2", "Two", "Art")};
  tag_region_update tags;
  tags.leading_length = leading.size();
  tags.leading = bytes(16, 'M');
  tags.trailing_start = old.size() - trailing.size();
  tags.trailing = bytes(14, 'U');

  auto live = file_with(old);
  retag_in_place in_place;
  EXPECT_THROW(musepack::write_chapter_packets(live, in_place, leading.size(), chapters, &tags, no_abort()),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*live), old);
  memory_rewrite rewrite;
  musepack::write_chapter_packets(live, rewrite, leading.size(), chapters, &tags, no_abort());
  EXPECT_EQ(content_of(*live), old) << "the file changes only by the caller's commit";
  ASSERT_TRUE(rewrite.made);
  const bytes after = content_of(*rewrite.made);
  const std::size_t audio_end = 4 + 11 + 23;
  EXPECT_EQ(bytes(after.begin(), after.begin() + 16), tags.leading);
  EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + audio_end, after.begin() + 16)) << "audio untouched";
  EXPECT_EQ(bytes(after.end() - 14, after.end()), tags.trailing);
  EXPECT_NE(std::search(after.begin(), after.end(), chapters[1].begin(), chapters[1].end()), after.end());

  // Unchanged chapters and tags: nothing is written, nothing made.
  const std::vector<bytes> same_chapters = {chapter_packet(0, "1", "One", "Art")};
  const bytes written = concat({leading, stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                                same_chapters[0], packet("SE", {}),
                                trailing});
  auto unchanged = file_with(written);
  tag_region_update same;
  same.leading_length = leading.size();
  same.leading = leading;
  same.trailing_start = written.size() - trailing.size();
  same.trailing = trailing;
  memory_rewrite untouched;
  musepack::write_chapter_packets(unchanged, untouched, leading.size(), same_chapters, &same, no_abort());
  EXPECT_FALSE(untouched.made);
  EXPECT_EQ(content_of(*unchanged), written);
}

TEST(MusepackChapters, RefusesLayoutsItCannotRewriteAndLeavesThemUnchanged) {
  const bytes no_end = concat({stream_magic, packet("AP", bytes(20, 9)), packet("CT", bytes(6, 5))});
  const bytes before_audio =
      concat({stream_magic, packet("CT", bytes(6, 5)), packet("AP", bytes(20, 9)), packet("SE", {})});
  for (const bytes& content : {no_end, before_audio}) {
    auto file = file_with(content);
    const std::vector<bytes> chapters = {chapter_packet(0, "1", "One", "Art")};
    retag_in_place in_place;
    EXPECT_THROW(musepack::write_chapter_packets(file, in_place, 0, chapters, nullptr, no_abort()),
                 vantrel_io::exception_io_data);
    EXPECT_EQ(content_of(*file), content);
  }
}

}  // namespace

// The work of planning an edit of every value of `chapters` chapters whose
// tags hold `count` fields each, the new values different in each chapter.
std::uint64_t work_changing_every_chapter_value(std::size_t chapters, std::size_t count) {
  bytes content = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9))});
  for (std::size_t c = 0; c < chapters; ++c) {
    apev2::item_list items;
    for (std::size_t i = 0; i < count; ++i)
      items.push_back({false, 0, "Field " + std::to_string(i), "value " + std::to_string(i)});
    content = concat({content, chapter_packet(c * 100, items)});
  }
  const musepack::chapter_table table = table_of(concat({content, packet("SE", {})}));
  EXPECT_EQ(table.chapters.size(), chapters);
  track_info_impl file;
  std::vector<track_info_impl> shown, edited;
  for (const musepack::chapter_packet& c : table.chapters) {
    apev2::item_list items;
    c.read_items(items);
    shown.emplace_back(file);
    musepack::overlay_chapter(shown.back(), c.gain, c.peak, items);
    edited.push_back(shown.back());
    for (std::uint32_t f = 0; f < edited.back().field_count(); ++f) {
      const std::string value = "chapter " + std::to_string(edited.size()) + " " + edited.back().field_value(f, 0);
      edited.back().replace_field_value(f, 0, value.c_str(), value.size());
    }
  }
  const std::uint64_t before = qiv::work_steps_on_this_thread();
  const musepack::chapter_rewrites rewrites = musepack::plan_chapter_edit(table.chapters, shown, edited, file);
  const std::uint64_t work = qiv::work_steps_on_this_thread() - before;
  EXPECT_EQ(file.field_count(), 0u);
  EXPECT_TRUE(rewrites.front() && rewrites.back());
  if (rewrites.back()) {
    EXPECT_EQ(tag_value(*rewrites.back(), "Field 7"), "chapter " + std::to_string(chapters) + " value 7");
  }
  return work;
}

TEST(MusepackChapters, AnEditOfEveryValueGrowsInStepWithTheChapterTags) {
  const std::uint64_t small = work_changing_every_chapter_value(8, 1000);
  const std::uint64_t large = work_changing_every_chapter_value(8, 4000);
  ASSERT_GT(small, 8000u);
  // Four times the fields: about four times the work, not sixteen.
  EXPECT_LT(large, 5 * small);
}
