// The Musepack header ReplayGain encodings, the in-place header rewrites
// and the chapter packet rewrite, on files built byte by byte in memory
// (no encoder writes version 7 streams any more).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "inputs/musepack/musepack_audio_end.h"
#include "inputs/musepack/musepack_chapter_writing.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_packets.h"
#include "inputs/musepack/musepack_seek_table.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/retag_through_temp_file.h"
#include "metadata/track_info.h"

namespace {

using bytes = std::vector<std::uint8_t>;
const abort_signal& no_abort = never_raised_abort_signal();

// Hands out an in-memory temporary file for the test to read.
class memory_rewrite final : public retag_temp_source {
public:
  bool open_temp(vantrel_io::file_ptr& out, const abort_signal&) override {
    made = vantrel_io::make_memory_file();
    out = made;
    return true;
  }
  vantrel_io::file_ptr made;
};

vantrel_io::file_ptr file_with(const bytes& content) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  if (!content.empty()) file->write(content.data(), std::uint32_t(content.size()), no_abort);
  return file;
}

bytes content_of(vantrel_io::file_object& file) {
  bytes out(static_cast<std::size_t>(file.get_size(no_abort)));
  file.seek(0, no_abort);
  if (!out.empty()) file.read(out.data(), std::uint32_t(out.size()), no_abort);
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
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 2, gains(-1.0f, 0.5f, -2.0f, 0.5f), no_abort));
  const bytes after7 = content_of(*file);
  ASSERT_EQ(after7.size(), v7.size());
  EXPECT_EQ(le16(after7, 2 + 14), std::uint16_t(-100));
  EXPECT_TRUE(std::equal(after7.begin() + 22, after7.end(), v7.begin() + 22));

  const bytes v8 = concat({stream_magic, packet("SH", bytes(8, 1)), packet("RG", bytes(12, 7)),
                           packet("EI", bytes(3, 2)), packet("AP", bytes(20, 9)), packet("SE", {})});
  file = file_with(v8);
  EXPECT_TRUE(
      musepack::write_header_replaygain(*file, 0, gains(-6.0f, 1.0f, replaygain_info::gain_absent, -1.0f), no_abort));
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
  EXPECT_THROW(musepack::write_header_replaygain(*file, 4080, gains(-1.0f, 0.5f, -2.0f, 0.5f), no_abort),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*file), straddling);

  file = file_with(bytes(30, 'x'));
  EXPECT_FALSE(musepack::write_header_replaygain(*file, 0, gains(1, 1, 1, 1), no_abort)) << "not ours: left to the tag";
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
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, current, no_abort, &current));
  EXPECT_EQ(content_of(*file), v7) << "nothing changed, nothing written";
  replaygain_info changed = current;
  changed.track_gain = -1.0f;
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, changed, no_abort, &current));
  const bytes after = content_of(*file);
  EXPECT_EQ(le16(after, 14), std::uint16_t(-100));
  EXPECT_EQ(le16(after, 12), 0x1D67) << "peaks kept";
  EXPECT_EQ(le16(after, 16), 0x1D67);

  const bytes v8 = concat({stream_magic, packet("RG", {1, 0x3F, 0x10, 0x4D, 0x67, 0x3F, 0x10, 0x4D, 0x66, 0xAB}),
                           packet("SE", {})});
  file = file_with(v8);
  const replaygain_info read = gains(1.0f, 0.5f, 1.0f, 0.5f);
  EXPECT_TRUE(musepack::write_header_replaygain(*file, 0, read, no_abort, &read));
  EXPECT_EQ(content_of(*file), v8) << "the packet's extra byte and the stored values stay";
}

TEST(MusepackAudioEnd, FollowsTheStreamsOwnFraming) {
  const bytes v8 = concat({bytes(10, 'I'), stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                           packet("SE", {}), bytes(40, 'T')});
  auto file = file_with(v8);
  EXPECT_EQ(musepack::find_audio_end(*file, 10, v8.size() - 40, no_abort), v8.size() - 40);
  // Tags that begin inside a whole stream do not move its end.
  EXPECT_EQ(musepack::find_audio_end(*file, 10, v8.size() - 45, no_abort), v8.size() - 40);
  // Cut inside the audio: the last packet that begins in the file.
  const bytes cut(v8.begin(), v8.begin() + 30);
  file = file_with(cut);
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut.size(), no_abort), 10u + 4 + 11);
  // The same cut with a tag after it long enough to hold the rest of the cut
  // packet and more: the audio still ends where the cut packet begins.
  file = file_with(concat({cut, bytes(60, 'T')}));
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut.size(), no_abort), 10u + 4 + 11);
  // Cut just after a packet, a tag in the place of the next: the tag's start.
  const bytes cut_between(v8.begin(), v8.begin() + 10 + 4 + 11 + 23);
  file = file_with(concat({cut_between, {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'}, bytes(80, 'T')}));
  EXPECT_EQ(musepack::find_audio_end(*file, 10, cut_between.size(), no_abort), cut_between.size());

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
  EXPECT_EQ(musepack::find_audio_end(*file, 0, v7.size(), no_abort), 4u + 11 * 4);
  v7[4] = 200;  // more frames than the file holds: no bound
  file = file_with(v7);
  EXPECT_EQ(musepack::find_audio_end(*file, 0, v7.size(), no_abort), 0u);
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
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort), musepack::no_stale_table);
  file = file_with(stream_with_table(23));
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort), 15u) << "the packet that leads to the table";
  // Cut before the table: nothing to judge it by.
  const bytes stale = stream_with_table(23);
  file = file_with(bytes(stale.begin(), stale.begin() + 30));
  EXPECT_EQ(musepack::find_stale_seek_table(*file, 0, no_abort), musepack::no_stale_table);
}

TEST(MusepackAudioEnd, ACutSeekTableIsTheOnlyPartLost) {
  const bytes whole = stream_with_table(19);
  for (std::size_t cut : {45u, 47u}) {
    auto file = file_with(bytes(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, cut, no_abort), 42u) << cut;
    // Read only up to a point inside the audio: the audio is what is cut.
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, 30, no_abort), vantrel_io::filesize_unknown) << cut;
  }
  for (std::size_t cut : {30u, whole.size()}) {
    auto file = file_with(bytes(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(musepack::find_cut_side_packet(*file, 0, cut, no_abort), vantrel_io::filesize_unknown)
        << "a cut in the audio, or none: " << cut;
  }
}

TEST(MusepackHeaderReplayGain, RefusesStreamsWithoutAFittingPacket) {
  const bytes no_rg = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(5, 9)), packet("SE", {})});
  const bytes short_rg = concat({stream_magic, packet("RG", bytes(4, 0)), packet("SE", {})});
  const bytes long_size = concat({stream_magic, {'R', 'G', 0x81, 0x81, 0x81, 0x81, 0x00}});
  for (const bytes& content : {no_rg, short_rg, long_size}) {
    auto file = file_with(content);
    EXPECT_THROW(musepack::write_header_replaygain(*file, 0, gains(1, 1, 1, 1), no_abort),
                 vantrel_io::exception_io_data);
    EXPECT_EQ(content_of(*file), content);
  }
}

TEST(MusepackPackets, SizeNumbersUseSevenBitGroups) {
  EXPECT_EQ(musepack::encode_packet_number(0x7F), bytes({0x7F}));
  EXPECT_EQ(musepack::encode_packet_number(0x80), bytes({0x81, 0x00}));
  EXPECT_EQ(musepack::encode_packet_number(44100), bytes({0x82, 0xD8, 0x44}));
}

track_info_impl chapter(const char* title, const char* track, float gain) {
  track_info_impl info;
  info.set_field("TITLE", track_info::until_nul, title, track_info::until_nul);
  info.set_field("ARTIST", track_info::until_nul, "Art", track_info::until_nul);
  info.set_field("ALBUM", track_info::until_nul, "Alb", track_info::until_nul);
  info.set_field("TRACKNUMBER", track_info::until_nul, track, track_info::until_nul);
  info.set_field("TOTALTRACKS", track_info::until_nul, track, track_info::until_nul);
  replaygain_info r;
  r.album_gain = -2.0f;
  r.track_gain = gain;
  info.set_replaygain(r);
  return info;
}

TEST(MusepackChapters, SharedFieldsAndGainsMoveToTheFileLevel) {
  std::vector<track_info_impl> chapters = {chapter("One", "1", -1.0f), chapter("Two", "2", -3.0f)};
  track_info_impl common;
  musepack::split_common_fields(chapters, common);
  EXPECT_NE(common.find_field("ALBUM"), track_info::not_found);
  EXPECT_NE(common.find_field("ARTIST"), track_info::not_found);
  EXPECT_NE(common.find_field("TOTALTRACKS"), track_info::not_found) << "goes up when the numbers differ";
  EXPECT_EQ(common.find_field("TITLE"), track_info::not_found);
  EXPECT_EQ(common.get_replaygain().album_gain, -2.0f);
  EXPECT_FALSE(replaygain_info::gain_present(common.get_replaygain().track_gain));
  for (const track_info_impl& c : chapters) {
    EXPECT_EQ(c.field_count(), 2u);
    EXPECT_NE(c.find_field("TRACKNUMBER"), track_info::not_found);
  }
}

TEST(MusepackChapters, PacketsAreReplacedBeforeTheStreamEndKeepingStarts) {
  const bytes old = concat({stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                            packet("CT", bytes(6, 5)), packet("CT", bytes(6, 6)), packet("SE", {}), bytes(10, 'T')});
  auto live = file_with(old);
  std::vector<track_info_impl> chapters = {chapter("One", "1", -1.0f), chapter("Two", "2", -3.0f)};
  // Packets that change their length take many writes: without a
  // temporary file the write is refused before any byte changes.
  retag_in_place in_place;
  EXPECT_THROW(musepack::write_chapter_packets(live, in_place, 0, chapters, {44100, 132300}, nullptr, no_abort),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*live), old);
  memory_rewrite rewrite;
  musepack::write_chapter_packets(live, rewrite, 0, chapters, {44100, 132300}, nullptr, no_abort);
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
    const musepack::packet_header p = reader.next(no_abort);
    ASSERT_TRUE(p.found);
    if (p.is("SE")) break;
    ASSERT_TRUE(p.is("CT"));
    bytes payload(static_cast<std::size_t>(p.payload_size));
    file->seek(p.payload_position(), no_abort);
    file->read(payload.data(), std::uint32_t(payload.size()), no_abort);
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
  std::vector<track_info_impl> chapters = {chapter("One", "1", -1.0f), chapter("Two", "2", -3.0f)};
  tag_region_update tags;
  tags.leading_length = leading.size();
  tags.leading = bytes(16, 'M');
  tags.trailing_start = old.size() - trailing.size();
  tags.trailing = bytes(14, 'U');

  auto live = file_with(old);
  retag_in_place in_place;
  EXPECT_THROW(musepack::write_chapter_packets(live, in_place, leading.size(), chapters, {0, 44100}, &tags, no_abort),
               exception_no_safe_rewrite);
  EXPECT_EQ(content_of(*live), old);
  memory_rewrite rewrite;
  musepack::write_chapter_packets(live, rewrite, leading.size(), chapters, {0, 44100}, &tags, no_abort);
  EXPECT_EQ(content_of(*live), old) << "the file changes only by the caller's commit";
  ASSERT_TRUE(rewrite.made);
  const bytes after = content_of(*rewrite.made);
  const std::size_t audio_end = 4 + 11 + 23;
  EXPECT_EQ(bytes(after.begin(), after.begin() + 16), tags.leading);
  EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + audio_end, after.begin() + 16)) << "audio untouched";
  EXPECT_EQ(bytes(after.end() - 14, after.end()), tags.trailing);
  const bytes new_chapter = packet("CT", musepack::chapter_payload(44100, chapters[1]));
  EXPECT_NE(std::search(after.begin(), after.end(), new_chapter.begin(), new_chapter.end()), after.end());

  // Unchanged chapters and tags: nothing is written, nothing made.
  std::vector<track_info_impl> same_chapters = {chapter("One", "1", -1.0f)};
  const bytes written = concat({leading, stream_magic, packet("SH", bytes(8, 1)), packet("AP", bytes(20, 9)),
                                packet("CT", musepack::chapter_payload(0, same_chapters[0])), packet("SE", {}),
                                trailing});
  auto unchanged = file_with(written);
  tag_region_update same;
  same.leading_length = leading.size();
  same.leading = leading;
  same.trailing_start = written.size() - trailing.size();
  same.trailing = trailing;
  memory_rewrite untouched;
  musepack::write_chapter_packets(unchanged, untouched, leading.size(), same_chapters, {0}, &same, no_abort);
  EXPECT_FALSE(untouched.made);
  EXPECT_EQ(content_of(*unchanged), written);
}

TEST(MusepackChapters, RefusesLayoutsItCannotRewriteAndLeavesThemUnchanged) {
  const bytes no_end = concat({stream_magic, packet("AP", bytes(20, 9)), packet("CT", bytes(6, 5))});
  const bytes before_audio =
      concat({stream_magic, packet("CT", bytes(6, 5)), packet("AP", bytes(20, 9)), packet("SE", {})});
  for (const bytes& content : {no_end, before_audio}) {
    auto file = file_with(content);
    std::vector<track_info_impl> chapters = {chapter("One", "1", -1.0f)};
    retag_in_place in_place;
    EXPECT_THROW(musepack::write_chapter_packets(file, in_place, 0, chapters, {0}, nullptr, no_abort),
                 vantrel_io::exception_io_data);
    EXPECT_EQ(content_of(*file), content);
  }
}

}  // namespace
