#include "playback/inputs/mpeg/mpeg_stream_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "playback/decoders/mpeg_seek_table_cache.h"

namespace {

using bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t frame_length = 417;  // MPEG-1 Layer III, 128 kbps, 44100 Hz

bytes frames(int count) {
  bytes out;
  for (int i = 0; i < count; ++i) {
    bytes frame(frame_length, 0);
    frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

bytes xing_frame(std::uint32_t frame_count, int delay, int padding) {
  bytes frame = frames(1);
  std::memcpy(frame.data() + 36, "Xing", 4);
  frame[43] = 1;  // flags: frame count only
  for (int i = 0; i < 4; ++i) frame[44 + i] = static_cast<std::uint8_t>(frame_count >> (24 - 8 * i));
  const std::uint32_t p = 48;
  std::memcpy(frame.data() + p, "LAME3.100", 9);
  frame[p + 21] = static_cast<std::uint8_t>(delay >> 4);
  frame[p + 22] = static_cast<std::uint8_t>(((delay & 15) << 4) | (padding >> 8));
  frame[p + 23] = static_cast<std::uint8_t>(padding);
  return frame;
}

bytes id3v2_tag(const std::string& comment_text = "") {
  bytes body;
  if (!comment_text.empty()) {
    bytes comm = {0, 'e', 'n', 'g'};
    for (char c : std::string("iTunSMPB")) comm.push_back(static_cast<std::uint8_t>(c));
    comm.push_back(0);
    comm.insert(comm.end(), comment_text.begin(), comment_text.end());
    const std::uint32_t size = static_cast<std::uint32_t>(comm.size());
    body = {'C', 'O', 'M', 'M', static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
            static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size), 0, 0};
    body.insert(body.end(), comm.begin(), comm.end());
  }
  body.resize(body.size() + 16, 0);  // padding
  const std::uint32_t size = static_cast<std::uint32_t>(body.size());
  bytes tag = {'I', 'D', '3', 3, 0, 0, static_cast<std::uint8_t>((size >> 21) & 0x7F),
               static_cast<std::uint8_t>((size >> 14) & 0x7F), static_cast<std::uint8_t>((size >> 7) & 0x7F),
               static_cast<std::uint8_t>(size & 0x7F)};
  tag.insert(tag.end(), body.begin(), body.end());
  return tag;
}

bytes join(std::initializer_list<bytes> parts) {
  bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

bytes text(const std::string& value) { return bytes(value.begin(), value.end()); }

bytes le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }

// An APEv2 tag with header and footer whose one binary item holds `value`.
bytes apev2_tag(const bytes& value) {
  const bytes item = join({le32(std::uint32_t(value.size())), le32(2), text("Cover Art (Front)"), bytes(1, 0), value});
  auto block = [&](std::uint32_t flags) {
    return join({text("APETAGEX"), le32(2000), le32(std::uint32_t(item.size() + 32)), le32(1), le32(flags), bytes(8, 0)});
  };
  return join({block(0xA0000000u), item, block(0x80000000u)});
}

class recording_receiver : public stream_receiver {
public:
  std::vector<std::pair<std::string, std::uint32_t>> messages;
  void report(const char* message, std::uint32_t severity) override { messages.emplace_back(message, severity); }
};

// A source that cannot seek and does not know its size, as a network stream.
class stream_file : public vantrel_io::file_object {
public:
  explicit stream_file(bytes content) : content_(std::move(content)) {}
  std::uint32_t read(void* buffer, std::uint32_t count, const abort_signal&) override {
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(count, content_.size() - position_));
    std::memcpy(buffer, content_.data() + position_, n);
    position_ += n;
    return n;
  }
  void write(const void*, std::uint32_t, const abort_signal&) override { throw vantrel_io::exception_io_denied(); }
  std::uint64_t get_size(const abort_signal&) override { return vantrel_io::filesize_unknown; }
  std::uint64_t get_position(const abort_signal&) override { return position_; }
  void resize(std::uint64_t, const abort_signal&) override { throw vantrel_io::exception_io_object_not_seekable(); }
  void seek(std::uint64_t position, const abort_signal&) override {
    if (position != position_) throw vantrel_io::exception_io_object_not_seekable();
  }
  bool can_seek() override { return false; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { abort.check_and_throw(); }
  std::uint64_t get_timestamp(const abort_signal&) override { return 0; }
  bool is_remote() override { return true; }

private:
  bytes content_;
  std::size_t position_ = 0;
};

struct opened {
  mpeg_stream_reader reader;
  service_ptr<recording_receiver> receiver{new service_counted<recording_receiver>()};
  raisable_abort_signal abort;

  explicit opened(const bytes& content, bool install_receiver = true, bool seekable = true) {
    vantrel_io::file_ptr file;
    if (seekable) {
      file = vantrel_io::make_memory_file();
      file->write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
    } else {
      file = new service_counted<stream_file>(content);
    }
    reader.attach(file, "memory.mp3", open_reason::info_read, abort);
    if (install_receiver) reader.set_receiver(receiver.get());
    reader.parse(abort);
    if (seekable) reader.seek_file(reader.first_frame, abort);
  }
  // Frames up to the end of the stream.
  int read_all() {
    int count = 0;
    while (reader.read_next_frame(false, abort) != 0) ++count;
    return count;
  }
  bool received(const std::string& message, std::uint32_t severity) const {
    for (const auto& m : receiver->messages)
      if (m.first == message && m.second == severity) return true;
    return false;
  }
};

TEST(MpegStreamReader, WorksOutLengthAndGaplessTrim) {
  const std::uint32_t decoded = 39 * 1152;
  const struct {
    bytes content;
    std::int64_t first_frame, frame_count, total_samples;
    std::int32_t start_skip;
    bool accurate;
    const char* profile;
    const char* why;
  } cases[] = {
      {frames(40), 0, 40, 40 * 1152, 529, false, "CBR", "no VBR header: decoder delay only, no end trim"},
      {join({xing_frame(39, 576, 1260), frames(39)}), frame_length, 39, decoded - (576 + 529) - (1260 - 529), 576 + 529,
       true, "VBR", "encoder delay and padding from the header; the header frame carries no audio"},
      {join({xing_frame(39, 576, 100), frames(39)}), frame_length, 39, decoded - (576 + 529), 576 + 529, true, "VBR",
       "padding below the decoder delay trims nothing"},
      {join({id3v2_tag(" 00000000 00000210 000003C0 000000000000A000"), frames(39)}), 0, 39, 0xA000, 0x210 + 529,
       true, "CBR", "an iTunSMPB comment"},
      {join({id3v2_tag(" 00000000 00000210 000003C0 0000FFFFFFFFFFFF"), frames(39)}), 0, 39, decoded, 529, false,
       "CBR", "an iTunSMPB count beyond the frames present is ignored"},
      {join({id3v2_tag(" 00000000 FFFFFFF0 000003C0 0000000000000100"), frames(39)}), 0, 39, decoded, 529, false,
       "CBR", "an iTunSMPB delay that would wrap the start skip is ignored"},
      {join({frames(40), apev2_tag(frames(3))}), 0, 40, 40 * 1152, 529, false, "CBR",
       "frame-like bytes in a trailing tag are not audio"},
  };
  for (const auto& c : cases) {
    opened file(c.content);
    const std::int64_t tag_size = static_cast<std::int64_t>(file.reader.id3v2_size);
    EXPECT_EQ(file.reader.first_frame - tag_size, c.first_frame) << c.why;
    EXPECT_EQ(file.reader.frame_count, c.frame_count) << c.why;
    EXPECT_EQ(file.reader.total_samples, c.total_samples) << c.why;
    EXPECT_EQ(file.reader.start_skip, c.start_skip) << c.why;
    EXPECT_EQ(file.reader.info.accurate_length, c.accurate) << c.why;
    EXPECT_EQ(file.reader.info.codec_profile, c.profile) << c.why;
    EXPECT_EQ(file.reader.info.bitrate, 128) << c.why;
    EXPECT_EQ(file.read_all(), c.frame_count) << c.why;
  }
}

TEST(MpegStreamReader, ReportsWhatItStepsOver) {
  const bytes garbage(50, 'x');
  const bytes id3v1 = join({text("TAG"), bytes(125, ' ')});
  const std::uint32_t cut = 10 * frame_length;
  const struct {
    bytes content;
    int frames;
    std::string message;
    std::uint32_t severity;
    const char* why;
  } cases[] = {
      {join({frames(10), garbage, frames(10)}), 20, "MPEG stream error at " + std::to_string(cut) + " bytes",
       stream_receiver::warning, "garbage between frames"},
      {join({frames(10), garbage, frames(10)}), 20, "MPEG stream resync successful at " + std::to_string(cut + 50),
       stream_receiver::information, "playback goes on at the next frame pair"},
      {join({frames(10), id3v1, frames(10)}), 20, "ID3 tag garbage inside MPEG stream at " + std::to_string(cut) + " bytes",
       stream_receiver::warning, "an ID3v1 block inside the stream"},
      {join({id3v2_tag(), id3v2_tag(), frames(10)}), 10, "Multiple ID3v2 tags encountered",
       stream_receiver::structure_error, "two leading tags"},
  };
  for (const auto& c : cases) {
    opened file(c.content);
    EXPECT_EQ(file.read_all(), c.frames) << c.why;
    EXPECT_TRUE(file.received(c.message, c.severity)) << c.why;
  }
}

TEST(MpegStreamReader, StreamsThatCannotSeek) {
  const std::uint32_t cut = static_cast<std::uint32_t>(id3v2_tag().size()) + 3 + 20 * frame_length;
  opened stream(join({id3v2_tag(), bytes(3, 'x'), frames(20), bytes(50, 'x'), frames(10)}), true, false);
  EXPECT_EQ(stream.reader.length, -1.0);
  EXPECT_EQ(stream.reader.info.bitrate, 128) << "from the first frame";
  EXPECT_EQ(stream.read_all(), 30) << "the bytes the searches looked at are read again";
  EXPECT_TRUE(stream.received("MPEG stream error at " + std::to_string(cut) + " bytes", stream_receiver::warning));
  EXPECT_TRUE(stream.received("MPEG stream resync successful at " + std::to_string(cut + 50), stream_receiver::information));
}

TEST(MpegStreamReader, TrailingBlocksEndTheStreamSilently) {
  const bytes tails[] = {join({text("TAG"), bytes(125, ' ')}), join({text("APETAGEX"), bytes(24, 0)})};
  for (const bytes& tail : tails) {
    opened file(join({frames(10), tail}));
    EXPECT_EQ(file.read_all(), 10);
    EXPECT_TRUE(file.receiver->messages.empty());
  }
}

TEST(MpegStreamReader, GarbageToTheEndFailsTheResyncInOrder) {
  // A VBR header fixes the frame count, so the end is not found by the
  // end search and the reader meets the garbage.
  opened file(join({xing_frame(12, 576, 1260), frames(10), bytes(3000, 'x')}));
  EXPECT_EQ(file.read_all(), 10);
  EXPECT_TRUE(file.received("MPEG stream resync failed", stream_receiver::information));
}

TEST(MpegStreamReader, IntegrityModeStopsAtTheFirstDamage) {
  opened file(join({frames(10), bytes(50, 'x'), frames(10)}), false);
  file.reader.open_flags = mpeg_stream_reader::integrity_check_flag;
  EXPECT_THROW(file.read_all(), vantrel_io::exception_io_data);
}

TEST(MpegStreamReader, ReadingLeavesSeekPointsForTheNextOpen) {
  const bytes content = join({id3v2_tag(), frames(100)});
  opened first(content);
  first.read_all();
  opened second(content);
  mpeg_seek_table_cache::point point;
  ASSERT_TRUE(mpeg_seek_table_cache::lookup(second.reader.seek_table_handle(), 70, point));
  EXPECT_EQ(point.frame, 64u);
  EXPECT_EQ(point.offset, 64u * frame_length) << "offsets count from the first frame";
}

TEST(MpegStreamReader, RefusesStreamsWithoutFrames) {
  // One frame followed by bytes that start no second one is not believed.
  const bytes contents[] = {bytes(5000, 'x'), join({frames(1), text("xyz")}), bytes()};
  for (const bytes& content : contents) EXPECT_THROW(opened file(content), vantrel_io::exception_io_data);
}

TEST(MpegStreamReader, OneFrameEndingTheAudioIsAStream) {
  for (const bytes& content : {frames(1), join({frames(1), text("TAG"), bytes(125, ' ')})}) {
    opened file(content);
    EXPECT_EQ(file.read_all(), 1);
  }
}

}  // namespace
