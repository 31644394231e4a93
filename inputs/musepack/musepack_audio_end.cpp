#include "inputs/musepack/musepack_audio_end.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "inputs/musepack/musepack_packets.h"
#include "io/io_exceptions.h"

namespace musepack {

namespace {

// After "MP+" and the version byte, a version 7 stream is one run of bits:
// the header's 168 (five words and the encoder version), then the frames.
constexpr std::uint64_t v7_magic_size = 4;
constexpr std::uint64_t v7_header_bits = 168;
constexpr std::uint32_t v7_frame_length_bits = 20;
constexpr std::uint32_t v7_last_frame_bits = 11;

// How far the packets of a version 8 stream can be followed.
struct v8_packets {
  bool complete = false;     // the stream-end packet was reached
  std::uint64_t end = 0;     // past the stream-end packet, else the start of the last packet found
  char last_key[2] = {};     // a stream that is not complete: its last packet's key
  std::uint64_t first_past_limit = ~std::uint64_t(0);  // the first packet reaching past the limit
};

// Packets reaching past `readable_end` are cut there; `limit` is only noted.
v8_packets walk_v8_packets(vantrel_io::file_object& file, std::uint64_t header_position, std::uint64_t limit,
                           std::uint64_t readable_end, const abort_signal& abort) {
  const std::uint64_t size = std::min(file.get_size(abort), readable_end);
  packet_reader packets(file, header_position + 4);
  v8_packets walk;
  walk.end = header_position + 4;
  for (;;) {
    packet_header packet;
    try {
      packet = packets.next(abort);
    } catch (const vantrel_io::exception_io_data&) {
      return walk;  // a damaged size: the stream reaches at least the last packet found
    }
    if (!packet.found) return walk;
    walk.end = packet.position;
    std::memcpy(walk.last_key, packet.key, 2);
    // A packet the file ends inside: the stream reaches at least its start.
    if (size == vantrel_io::filesize_unknown || packet.total_size > size - packet.position) return walk;
    if (packet.is("SE")) {
      walk.complete = true;
      walk.end = packet.position + packet.total_size;
      return walk;
    }
    if (walk.first_past_limit == ~std::uint64_t(0) && packet.total_size > limit - std::min(limit, packet.position))
      walk.first_past_limit = packet.position;
  }
}

std::uint64_t v8_audio_end(vantrel_io::file_object& file, std::uint64_t header_position, std::uint64_t tags_start,
                           const abort_signal& abort) {
  const v8_packets walk = walk_v8_packets(file, header_position, tags_start, ~std::uint64_t(0), abort);
  if (walk.complete) return walk.end;
  // Without its end the stream was cut. A tag written after the cut lies
  // where the cut packet claims more bytes: from that packet on, nothing is
  // audio the stream still holds.
  return std::min(walk.end, walk.first_past_limit);
}

// The frames of a version 7 stream are one bit stream of little-endian
// 32-bit words read from their top bit down; each frame starts with its
// length in bits (the 20 bits of that length not counted).
class v7_bit_walker {
public:
  v7_bit_walker(vantrel_io::file_object& file, std::uint64_t start, std::uint64_t end)
      : file_(file), start_(start), end_(end) {}

  // False when the 20 bits at `bit` lie past the end of the file.
  bool frame_length_at(std::uint64_t bit, std::uint32_t& out, const abort_signal& abort) {
    const std::uint64_t word = bit >> 5;
    std::uint32_t first = 0, second = 0;
    if (!word_at(word, first, abort)) return false;
    const std::uint32_t offset = static_cast<std::uint32_t>(bit & 31);
    if (offset + v7_frame_length_bits > 32 && !word_at(word + 1, second, abort)) return false;
    const std::uint64_t both = (std::uint64_t(first) << 32) | second;
    out = static_cast<std::uint32_t>((both >> (64 - v7_frame_length_bits - offset)) & 0xFFFFF);
    return true;
  }

private:
  bool word_at(std::uint64_t word, std::uint32_t& out, const abort_signal& abort) {
    const std::uint64_t at = start_ + word * 4;
    if (at + 4 > end_) return false;
    if (at < buffer_start_ || at + 4 > buffer_start_ + buffer_.size()) {
      const std::uint64_t size = std::min<std::uint64_t>(chunk, end_ - at);
      buffer_.resize(static_cast<std::size_t>(size));
      file_.seek(at, abort);
      file_.read_exact(buffer_.data(), static_cast<std::uint32_t>(size), abort);
      buffer_start_ = at;
    }
    const std::uint8_t* b = buffer_.data() + (at - buffer_start_);
    out = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    return true;
  }

  static constexpr std::uint64_t chunk = 1 << 16;
  vantrel_io::file_object& file_;
  const std::uint64_t start_;
  const std::uint64_t end_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t buffer_start_ = 0;
};

std::uint64_t v7_audio_end(vantrel_io::file_object& file, std::uint64_t header_position, const abort_signal& abort) {
  std::uint8_t header[8];
  file.seek(header_position, abort);
  if (file.read(header, sizeof header, abort) != sizeof header) return 0;
  const std::uint32_t frames =
      std::uint32_t(header[4]) | std::uint32_t(header[5]) << 8 | std::uint32_t(header[6]) << 16 |
      std::uint32_t(header[7]) << 24;
  const std::uint64_t size = file.get_size(abort);
  const std::uint64_t start = header_position + v7_magic_size;
  if (size == vantrel_io::filesize_unknown || size < start) return 0;
  v7_bit_walker walker(file, start, size);
  std::uint64_t bit = v7_header_bits;
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    abort.check_and_throw();
    std::uint32_t length = 0;
    if (!walker.frame_length_at(bit, length, abort)) return 0;
    bit += v7_frame_length_bits + length;
    if (start + (bit + 31) / 32 * 4 > size) return 0;
  }
  // The last frame's sample count follows it, outside its length.
  if (frames > 0) bit += v7_last_frame_bits;
  // The word the last bit lies in is audio, however its bytes are ordered.
  return start + std::min(bit / 32 * 4, size - start);
}

}  // namespace

std::uint64_t find_audio_end(vantrel_io::file_object& file, std::uint64_t header_position, std::uint64_t tags_start,
                             const abort_signal& abort) {
  std::uint8_t magic[4] = {};
  file.seek(header_position, abort);
  if (file.read(magic, sizeof magic, abort) != sizeof magic) return 0;
  if (std::memcmp(magic, "MPCK", 4) == 0) return v8_audio_end(file, header_position, tags_start, abort);
  if (std::memcmp(magic, "MP+", 3) == 0 && (magic[3] & 0x0F) == 7) return v7_audio_end(file, header_position, abort);
  return 0;
}

std::uint64_t find_cut_side_packet(vantrel_io::file_object& file, std::uint64_t header_position,
                                   std::uint64_t readable_end, const abort_signal& abort) {
  std::uint8_t magic[4] = {};
  file.seek(header_position, abort);
  if (file.read(magic, sizeof magic, abort) != sizeof magic || std::memcmp(magic, "MPCK", 4) != 0)
    return vantrel_io::filesize_unknown;
  const v8_packets walk = walk_v8_packets(file, header_position, readable_end, readable_end, abort);
  if (walk.complete || std::memcmp(walk.last_key, "AP", 2) == 0 || walk.end <= header_position + 4)
    return vantrel_io::filesize_unknown;
  return walk.end;
}

}  // namespace musepack
