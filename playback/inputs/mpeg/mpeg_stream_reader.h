// The framing side of the MPEG audio input: finds the first audio frame
// behind leading ID3v2 tags, works out once the stream's frame count, byte
// length, gapless trim (Xing/Info with its encoder extension, VBRI, an
// "iTunSMPB" comment), length and average bitrate, then hands out one frame
// at a time, stepping over ID3v1 and APEv2 blocks and resynchronising over
// damage. Frame starts go to the process-wide seek-table cache; what the
// reader meets goes to a stream_receiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/decoder_service.h"
#include "playback/audio_block.h"
#include "playback/decoders/mpeg_frame_header.h"
#include "playback/decoders/packet_codec.h"

// What get_info reports; -1 and empty texts are unknown.
struct mpeg_stream_info {
  std::int32_t enc_delay = -1;
  std::int32_t enc_padding = -1;
  std::int32_t bitrate = -1;
  std::int32_t layer = -1;
  std::int32_t channels = -1;
  std::int32_t sample_rate = -1;
  std::int32_t channel_mode = -1;
  bool accurate_length = false;
  double length = -1.0;
  std::string tool;
  std::string codec_profile;
};

class mpeg_stream_reader {
public:
  static constexpr std::uint32_t max_frame = 16384;
  // Flag of initialize: every damage is an error.
  static constexpr std::uint32_t integrity_check_flag = 8;

  mpeg_stream_reader();

  void attach(vantrel_io::file_ptr given, const char* path, open_reason reason, const abort_signal& abort);
  void parse(const abort_signal& abort);
  // The frame's length, left in frame_buffer; 0 at the end of the stream.
  std::uint32_t read_next_frame(bool decode, const abort_signal& abort);
  // Offset of the first frame of two valid frames in a row, or -1; the file
  // is left somewhere inside the searched window.
  std::int64_t sync_search(const abort_signal& abort, std::uint8_t* header_out = nullptr);
  // Offset just past the last whole frame that matches `first_header`, or -1.
  std::int64_t end_search(std::int64_t first_offset, const std::uint8_t* first_header, const abort_signal& abort);
  void set_receiver(stream_receiver* receiver);
  void report(const char* text, std::uint32_t severity);
  // In integrity-check mode without a receiver of the caller's, a warning
  // is an error.
  void warn(const std::string& text);
  void seek_file(std::uint64_t offset, const abort_signal& abort);
  // Reports once a leading ID3v2 tag that does not parse: the audio plays
  // all the same, the tag's fields are left out.
  void check_leading_tag(const abort_signal& abort);
  std::uint32_t seek_table_handle();

  std::string path;
  bool own_file = false;
  bool parsed = false;
  std::uint64_t file_timestamp = 0;
  std::vector<std::uint8_t> frame_buffer;
  audio_block block;
  bool at_end = false;
  bool can_seek = false;
  std::int64_t seek_table = -1;
  std::int32_t start_skip = 0;
  std::uint32_t layer = 0;
  std::uint32_t open_flags = 0;
  std::uint64_t id3v2_size = 0;
  packet_decoder_ptr decoder;
  vantrel_io::file_ptr file;
  std::int64_t first_frame = 0;
  std::int64_t frame_count = -1;
  std::int64_t stream_bytes = -1;
  std::uint64_t frames_read = 0;
  std::int64_t skip_remaining = 0;
  std::int64_t samples_out = 0;
  std::int64_t total_samples = 0;
  double length = -1.0;
  std::uint32_t sample_rate = 0;
  std::uint32_t samples_per_frame = 0;
  service_ptr<stream_receiver> receiver;
  bool custom_receiver = false;
  bool crc_warned = false;
  bool leading_tag_checked = false;
  mpeg_stream_info info;

private:
  // Reads through bytes a sync search of a stream that cannot seek has
  // already taken from the file.
  std::uint32_t read_bytes(void* buffer, std::uint32_t count, const abort_signal& abort);
  void skip_bytes(std::uint64_t count, const abort_signal& abort);
  std::uint64_t position(const abort_signal& abort);
  bool is_valid_frame(const std::uint8_t* bytes, mpeg_frame_header& header) const;
  // Leading ID3v2 tags of a source that cannot seek back over a look ahead.
  std::uint32_t skip_leading_tags_of_stream(std::uint64_t& total, const abort_signal& abort);

  // Where the trailing tags begin (0 until asked for, once per attach).
  std::uint64_t audio_end(const abort_signal& abort);

  std::vector<std::uint8_t> pushback_;
  std::size_t pushback_at_ = 0;
  std::uint64_t audio_end_ = 0;
};

// Decoder delay of a layer: samples a decoder gives before the first real one.
std::int32_t mpeg_decoder_delay(std::uint32_t layer);
