#include "playback/inputs/flac/flac_input.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/string_buffer.h"
#include "io/memory_file.h"
#include "metadata/track_info_json.h"
#include "playback/audio_block.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

namespace {

struct encoded_stream {
  std::string bytes;
  std::size_t position = 0;
};

// A FLAC file made by libFLAC's encoder: a ramp per channel plus the given
// comments and a title (without any field the input would look for other
// tag kinds through services this test does not register).
std::string encode(std::uint32_t channels, std::uint32_t frames, std::vector<std::string> comments,
                   std::uint32_t picture_bytes = 0) {
  comments.push_back("TITLE=t");
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(encoder, channels);
  FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
  FLAC__stream_encoder_set_sample_rate(encoder, 44100);
  FLAC__stream_encoder_set_blocksize(encoder, 1024);
  FLAC__StreamMetadata* tags = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  for (const std::string& comment : comments) {
    FLAC__StreamMetadata_VorbisComment_Entry entry{static_cast<FLAC__uint32>(comment.size()),
                                                   reinterpret_cast<FLAC__byte*>(const_cast<char*>(comment.data()))};
    FLAC__metadata_object_vorbiscomment_append_comment(tags, entry, true);
  }
  FLAC__StreamMetadata* picture = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE);
  std::vector<FLAC__byte> image(picture_bytes, 0xAB);
  FLAC__metadata_object_picture_set_data(picture, image.data(), picture_bytes, true);
  FLAC__StreamMetadata* blocks[] = {picture, tags};
  // The picture comes first, so that a skip that lands wrong loses the comments.
  if (picture_bytes > 0)
    FLAC__stream_encoder_set_metadata(encoder, blocks, 2);
  else
    FLAC__stream_encoder_set_metadata(encoder, &tags, 1);
  encoded_stream out;
  auto write = [](const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes, uint32_t, uint32_t,
                  void* client) {
    auto& stream = *static_cast<encoded_stream*>(client);
    if (stream.position + bytes > stream.bytes.size()) stream.bytes.resize(stream.position + bytes);
    std::memcpy(&stream.bytes[stream.position], buffer, bytes);
    stream.position += bytes;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  };
  auto seek = [](const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client) {
    static_cast<encoded_stream*>(client)->position = static_cast<std::size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
  };
  auto tell = [](const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client) {
    *offset = static_cast<encoded_stream*>(client)->position;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  };
  EXPECT_EQ(FLAC__stream_encoder_init_stream(encoder, write, seek, tell, nullptr, &out),
            FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  std::vector<FLAC__int32> samples(frames * channels);
  for (std::uint32_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<FLAC__int32>(i % 30000) - 15000;
  FLAC__stream_encoder_process_interleaved(encoder, samples.data(), frames);
  FLAC__stream_encoder_finish(encoder);
  FLAC__stream_encoder_delete(encoder);
  FLAC__metadata_object_delete(tags);
  FLAC__metadata_object_delete(picture);
  return out.bytes;
}

struct opened_input {
  raisable_abort_signal abort;
  flac_input input;
  explicit opened_input(const std::string& bytes) {
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
    input.open(file, "memory.flac", open_reason::decode, abort);
    input.initialize(0, 0, abort);
  }
  // Every sample left, as floats.
  std::vector<float> decode_rest() {
    std::vector<float> out;
    audio_block block;
    while (input.run(block, abort)) out.insert(out.end(), block.get_data(), block.get_data() + block.get_data_size());
    return out;
  }
};

// Fields, length and technical entries as a library scan reads them.
std::string info_text(const std::string& bytes) {
  raisable_abort_signal abort;
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
  flac_input input;
  input.open(file, "memory.flac", open_reason::info_read, abort);
  track_info_impl info;
  input.get_info(0, info);
  std::string text = "length=" + std::to_string(info.get_length()) + ";";
  for (const char* name : {"bitrate", "samplerate", "channels", "md5", "tool"})
    text += std::string(name) + "=" + info.tech_value_by_name(name).value_or("") + ";";
  for (std::uint32_t i = 0; i < info.field_count(); ++i)
    text += std::string(info.field_name(i)) + "=" + info.field_value(i, 0) + ";";
  return text;
}

TEST(flac_input, a_picture_changes_nothing_a_scan_reads_and_still_plays) {
  const std::vector<std::string> comments = {"ARTIST=a", "ALBUM=b"};
  const std::string plain = encode(2, 44100, comments);
  for (std::uint32_t picture_bytes : {1u, 40000u, 300000u}) {
    const std::string pictured = encode(2, 44100, comments, picture_bytes);
    ASSERT_GT(pictured.size(), plain.size() + picture_bytes);
    // Same audio bytes, so the same bitrate: the skipped block still counts as metadata.
    EXPECT_EQ(info_text(plain), info_text(pictured)) << picture_bytes;
    EXPECT_EQ(opened_input(plain).decode_rest(), opened_input(pictured).decode_rest()) << picture_bytes;
  }
}

TEST(flac_input, channel_mask_comment) {
  struct case_t {
    std::uint32_t channels;
    const char* comment;
    std::uint32_t mask;
    const char* why;
  } cases[] = {
      {6, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x60F", 0x60F, "a mask with one bit per channel is used"},
      {6, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3", 0x3F, "a mask of the wrong width is ignored"},
      {2, "waveformatextensible_channel_mask=0X3", 0x3, "name case and prefix case do not matter"},
      {2, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=3", 0x3, "without 0x the value is ignored"},
      {3, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0xZZ", 0x7, "an unparsable mask leaves the file playable"},
      {3, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x1000000007", 0x7, "an overflowing mask leaves the file playable"},
      {5, "TITLE=x", 0x37, "no mask comment: the usual layout"},
  };
  for (const case_t& c : cases) {
    opened_input opened(encode(c.channels, 2048, {c.comment}));
    audio_block block;
    ASSERT_TRUE(opened.input.run(block, opened.abort)) << c.why;
    EXPECT_EQ(block.get_channel_config(), c.mask) << c.why;
  }
}

TEST(flac_input, seeking_clamps_to_the_stream) {
  const std::uint32_t frames = 10000;
  opened_input whole(encode(2, frames, {}));
  const std::vector<float> all = whole.decode_rest();
  ASSERT_EQ(all.size(), frames * 2);

  opened_input negative(encode(2, frames, {}));
  negative.decode_rest();
  negative.input.seek(-3.0, negative.abort);
  EXPECT_EQ(negative.decode_rest(), all) << "a negative time seeks to the start";

  opened_input middle(encode(2, frames, {}));
  middle.input.seek(0.1, middle.abort);
  EXPECT_EQ(middle.decode_rest(), std::vector<float>(all.begin() + 4410 * 2, all.end()));

  opened_input end(encode(2, frames, {}));
  end.input.seek(frames / 44100.0, end.abort);
  EXPECT_TRUE(end.decode_rest().empty()) << "seeking to the last sample's end ends the stream";
}

TEST(flac_input, cue_comment_tracks_are_cut_exactly) {
  // Track 2 starts at 1 s (75 frames) and runs to the end; track 1 stops at it.
  const std::string sheet =
      "CUESHEET=FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n";
  opened_input opened(encode(1, 44100 * 2 + 7, {sheet}));
  EXPECT_EQ(opened.input.get_subsong_count(), 2u);
  const std::vector<float> all = opened.decode_rest();
  opened.input.initialize(1, 0, opened.abort);
  EXPECT_EQ(opened.decode_rest(), std::vector<float>(all.begin(), all.begin() + 44100));
  opened.input.initialize(2, 0, opened.abort);
  EXPECT_EQ(opened.decode_rest(), std::vector<float>(all.begin() + 44100, all.end()));
}

TEST(flac_input, a_stream_that_cannot_seek_plays_and_restarts_only_from_its_start) {
  const std::string bytes = encode(2, 5000, {});
  opened_input seekable(bytes);
  const std::vector<float> all = seekable.decode_rest();

  raisable_abort_signal abort;
  auto stream = io_test::make_model_file(bytes);
  stream->seekable = false;
  flac_input input;
  input.open(vantrel_io::file_ptr(stream.get()), "stream.flac", open_reason::decode, abort);
  EXPECT_FALSE(input.can_seek());
  const int rewinds_after_open = stream->rewinds;
  input.initialize(0, 0, abort);
  EXPECT_EQ(stream->rewinds, rewinds_after_open) << "seeking to 0 right after the open does nothing";
  audio_block block;
  std::vector<float> got;
  while (input.run(block, abort)) got.insert(got.end(), block.get_data(), block.get_data() + block.get_data_size());
  EXPECT_EQ(got, all);
  EXPECT_THROW(input.seek(0.01, abort), vantrel_io::exception_io_object_not_seekable);
  input.seek(0.0, abort);
  ASSERT_TRUE(input.run(block, abort)) << "seeking to 0 later opens the stream again";
  EXPECT_EQ(std::vector<float>(block.get_data(), block.get_data() + 8), std::vector<float>(all.begin(), all.begin() + 8));
}

TEST(flac_input, retagging_a_given_file_object_keeps_its_audio_and_channel_mask) {
  io_test::build_registry();  // for the scratch file
  raisable_abort_signal abort;
  const std::string original = encode(2, 5000, {"WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3"});
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  file->write(original.data(), static_cast<std::uint32_t>(original.size()), abort);

  // The file has no padding and no path: the grown metadata goes through a
  // scratch file copied back over the caller's object.
  flac_input writer;
  writer.open(file, "memory.flac", open_reason::info_write, abort);
  track_info_impl info;
  writer.get_info(0, info);
  const std::string title(3000, 'x');
  info.set_field("title", track_info::until_nul, title.data(), title.size());
  writer.set_info(0, info);
  writer.commit(abort);

  std::string rewritten(static_cast<std::size_t>(file->get_size(abort)), '\0');
  file->seek(0, abort);
  file->read_exact(rewritten.data(), static_cast<std::uint32_t>(rewritten.size()), abort);
  ASSERT_GT(rewritten.size(), original.size() + title.size());
  opened_input before(original);
  opened_input after(rewritten);
  track_info_impl read;
  after.input.get_info(0, read);
  qiv::string_buffer text;
  EXPECT_TRUE(read.get_field_text("title", text));
  EXPECT_EQ(text.get_ptr(), title);
  EXPECT_STREQ(read.tech_value_by_name("WAVEFORMATEXTENSIBLE_CHANNEL_MASK").value_or(""), "0x3");
  EXPECT_EQ(after.decode_rest(), before.decode_rest());
}

// `bytes` with a CUESHEET block after STREAMINFO: one audio track starting
// at `track_offset` and the lead-out at `lead_out`, in samples.
std::string with_cuesheet(const std::string& bytes, std::uint64_t track_offset, std::uint64_t lead_out) {
  auto be64 = [](std::string& out, std::uint64_t value) {
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(char(value >> shift));
  };
  std::string block(128 + 8, '\0');
  block += std::string(259, '\0');  // not a CD, reserved bytes
  block.push_back(2);                 // tracks
  be64(block, track_offset);
  block.push_back(1);
  block += std::string(12 + 14, '\0');
  block.push_back(1);  // one index
  be64(block, 0);
  block += std::string("\x01\0\0\0", 4);
  be64(block, lead_out);
  block.push_back(char(255));
  block += std::string(12 + 14 + 1, '\0');
  const std::size_t size = block.size();
  const std::string header = {5, char(size >> 16), char(size >> 8), char(size)};
  const std::size_t after_stream_info = 4 + 4 + 34;
  return bytes.substr(0, after_stream_info) + header + block + bytes.substr(after_stream_info);
}

// The metadata block types of a FLAC file, in order.
std::vector<int> block_types(const std::string& bytes) {
  std::vector<int> types;
  for (std::size_t at = 4; at + 4 <= bytes.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[at + i]); };
    types.push_back(byte(0) & 0x7F);
    if (byte(0) & 0x80) break;
    at += 4 + ((std::size_t(byte(1)) << 16) | (std::size_t(byte(2)) << 8) | byte(3));
  }
  return types;
}

// Retags `bytes` through a writer given the file object; answers the new bytes.
// A file on disk is only written in place, so a watched write goes to one;
// any other to a file in memory, which may also be rewritten whole.
std::string retag_given_file(const std::string& bytes, const std::string& title, raisable_abort_signal& abort,
                             const std::function<void(std::uint32_t)>& before_write = nullptr) {
  if (!before_write) {
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
    flac_input writer;
    writer.open(file, "memory.flac", open_reason::info_write, abort);
    track_info_impl info;
    writer.get_info(0, info);
    info.set_field("title", track_info::until_nul, title.data(), title.size());
    writer.set_info(0, info);
    writer.commit(abort);
    std::string out(static_cast<std::size_t>(file->get_size(abort)), '\0');
    file->seek(0, abort);
    file->read_exact(out.data(), static_cast<std::uint32_t>(out.size()), abort);
    return out;
  }
  auto model = io_test::make_model_file(bytes);
  model->checks_abort = true;
  flac_input writer;
  writer.open(vantrel_io::file_ptr(model.get()), "memory.flac", open_reason::info_write, abort);
  track_info_impl info;
  writer.get_info(0, info);
  info.set_field("title", track_info::until_nul, title.data(), title.size());
  writer.set_info(0, info);
  model->before_write = before_write;
  try {
    writer.commit(abort);
  } catch (const vantrel_io::exception_aborted&) {
  }
  return model->bytes;
}

TEST(flac_input, retagging_keeps_a_cue_sheet_block_the_reader_could_not_show) {
  io_test::build_registry();  // for the scratch file
  raisable_abort_signal abort;
  // Its only track ends before it starts: reading offers no "cuesheet"
  // field, so the user cannot have removed one.
  const std::string original = with_cuesheet(encode(2, 5000, {}), 4000, 1000);
  ASSERT_EQ(block_types(original), (std::vector<int>{0, 5, 4}));
  const std::string rewritten = retag_given_file(original, "new", abort);
  const std::vector<int> types = block_types(rewritten);
  EXPECT_NE(std::find(types.begin(), types.end(), 5), types.end());
  EXPECT_TRUE(original.substr(42, 4 + 480) == rewritten.substr(42, 4 + 480)) << "the block is kept as it was";
}

TEST(flac_input, a_cancellation_does_not_cut_a_metadata_rewrite_in_place_short) {
  io_test::build_registry();  // for the scratch file
  raisable_abort_signal setup;
  // The first rewrite leaves padding, so the shorter title then fits in place.
  const std::string padded = retag_given_file(encode(2, 5000, {}), std::string(300, 'x'), setup);
  for (int raise_at = 1; raise_at <= 8; ++raise_at) {
    raisable_abort_signal abort;
    int writes = 0;
    const std::string rewritten = retag_given_file(padded, "short", abort, [&](std::uint32_t) {
      if (++writes == raise_at) abort.raise();
    });
    ASSERT_EQ(rewritten.size(), padded.size()) << "rewritten in place";
    if (rewritten == padded) continue;
    opened_input after(rewritten);
    track_info_impl read;
    after.input.get_info(0, read);
    qiv::string_buffer text;
    EXPECT_TRUE(read.get_field_text("title", text)) << raise_at;
    EXPECT_STREQ(text.get_ptr(), "short") << raise_at;
  }
}

// Everything an info holds, as one text.
std::string info_json(const track_info& info) {
  std::string text;
  append_track_info_json(text, info);
  return text;
}

std::string read_path(const std::string& url, open_reason reason) {
  raisable_abort_signal abort;
  flac_input input;
  input.open(nullptr, url.c_str(), reason, abort);
  track_info_impl info;
  input.get_info(0, info);
  return info_json(info);
}

TEST(flac_input, a_writer_opened_by_path_reads_and_reports_what_a_fresh_read_of_the_file_gives) {
  io_test::build_registry();
  const std::string pictured = encode(2, 5000, {"ARTIST=a", "REPLAYGAIN_TRACK_GAIN=-3.00 dB"}, 40000);
  raisable_abort_signal setup;
  struct write_case {
    const char* why;
    std::string bytes;
    std::vector<std::string> titles;  // written one after another by one writer
  };
  const std::string id3v2_before = std::string("ID3\x03\0\0\0\0\0\x0A", 10) + std::string(10, '\0');
  const write_case cases[] = {
      {"no padding: through the temporary file, then in the padding it left", pictured, {"grown", "short"}},
      {"padding that fits, then padding that does not",
       retag_given_file(pictured, std::string(300, 'x'), setup), {"short", std::string(3000, 'y')}},
      {"a cue sheet block", with_cuesheet(encode(2, 44100 * 3, {}), 0, 44100 * 3), {"cued"}},
      {"an ID3v2 tag before the stream", id3v2_before + pictured, {"behind a tag"}},
  };
  for (const write_case& c : cases) {
    // The writer holds the file without sharing: the fresh reads come
    // before it opens and after it closes. Writes 1..k by one writer each time.
    for (std::size_t k = 1; k <= c.titles.size(); ++k) {
      io_test::scratch_folder folder;
      const std::string url = folder.file_url("a.flac");
      io_test::write_file(folder.path("a.flac"), c.bytes);
      const std::string before = read_path(url, open_reason::info_read);
      std::string reported;
      {
        raisable_abort_signal abort;
        flac_input writer;
        writer.open(nullptr, url.c_str(), open_reason::info_write, abort);
        track_info_impl info;
        writer.get_info(0, info);
        ASSERT_EQ(info_json(info), before) << c.why;
        for (std::size_t i = 0; i < k; ++i) {
          info.set_field("title", track_info::until_nul, c.titles[i].data(), c.titles[i].size());
          writer.set_info(0, info);
          writer.commit(abort);
          info.reset();
          writer.get_info(0, info);
        }
        reported = info_json(info);
      }
      EXPECT_EQ(reported, read_path(url, open_reason::info_read)) << c.why << ", write " << k;
      const std::string written = io_test::read_file(folder.path("a.flac"));
      EXPECT_EQ(opened_input(written).decode_rest(), opened_input(c.bytes).decode_rest()) << c.why;
      if (c.bytes.compare(0, 4, "fLaC") == 0) {
        const std::vector<int> types = block_types(written), old_types = block_types(c.bytes);
        EXPECT_EQ(std::count(types.begin(), types.end(), 6), std::count(old_types.begin(), old_types.end(), 6))
            << c.why << ": the picture stays";
      }
    }
  }
}

}  // namespace
