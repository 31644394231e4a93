#include "playback/decoders/wavpack_packet_decoder.h"

#include <algorithm>
#include <cstring>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/wavpack_fill_block.h"

namespace {

constexpr std::size_t packet_minimum = 12;
constexpr std::size_t header_prefix = 20;
// The sample count is the packet's own claim: it must not size a buffer of
// gigabytes. Real blocks hold far fewer.
constexpr std::uint32_t largest_block_samples = 1u << 20;

}  // namespace

// The library's reader over the one block in memory: no seeking, no length.
struct wavpack_memory_reader {
  static wavpack_packet_decoder& of(void* id) { return *static_cast<wavpack_packet_decoder*>(id); }
  static std::int32_t read_bytes(void* id, void* data, std::int32_t count) {
    wavpack_packet_decoder& d = of(id);
    const std::size_t left = d.block_.size() - d.read_offset_;
    const std::size_t n = std::min<std::size_t>(left, count > 0 ? static_cast<std::size_t>(count) : 0);
    std::memcpy(data, d.block_.data() + d.read_offset_, n);
    d.read_offset_ += n;
    return static_cast<std::int32_t>(n);
  }
  static std::int64_t get_pos(void* id) { return static_cast<std::int64_t>(of(id).read_offset_); }
  static int set_pos_abs(void*, std::int64_t) { return 1; }
  static int set_pos_rel(void*, std::int64_t, int) { return 1; }
  static int push_back_byte(void* id, int c) {
    wavpack_packet_decoder& d = of(id);
    if (d.read_offset_ > 0) --d.read_offset_;
    return c;
  }
  static std::int64_t get_length(void*) { return 0; }
  static int can_seek(void*) { return 0; }
};

namespace {

WavpackStreamReader64 memory_reader_table = {
    wavpack_memory_reader::read_bytes,   nullptr, wavpack_memory_reader::get_pos, wavpack_memory_reader::set_pos_abs,
    wavpack_memory_reader::set_pos_rel,  wavpack_memory_reader::push_back_byte,   wavpack_memory_reader::get_length,
    wavpack_memory_reader::can_seek,     nullptr, nullptr,
};

}  // namespace

bool wavpack_packet_decoder::accepts_codec_private(const void* data, std::size_t size) {
  if (size != 2) return false;
  const std::uint32_t version = qiv::load_le(static_cast<const std::uint8_t*>(data), 2);
  return (version & 0xFF00) == 0x0400;
}

wavpack_packet_decoder::wavpack_packet_decoder(const void* codec_private, std::size_t size) {
  if (!accepts_codec_private(codec_private, size)) vantrel_io::throw_io_data();
  version_ = static_cast<std::uint16_t>(qiv::load_le(static_cast<const std::uint8_t*>(codec_private), 2));
}

wavpack_packet_decoder::~wavpack_packet_decoder() { close_context(); }

void wavpack_packet_decoder::close_context() {
  if (context_) WavpackCloseFile(context_);
  context_ = nullptr;
}

std::uint32_t wavpack_packet_decoder::rebuild(const void* data, std::size_t size) {
  if (size < packet_minimum || size > 0xFFFFFFFF - 12) vantrel_io::throw_io_data();
  block_.resize(header_prefix + size);
  std::uint8_t* b = block_.data();
  std::memcpy(b, "wvpk", 4);
  qiv::store_le(b + 4, static_cast<std::uint32_t>(size + 12), 4);
  qiv::store_le(b + 8, version_, 2);
  b[10] = 0;  // track
  b[11] = 0;  // index
  qiv::store_le(b + 12, 0xFFFFFFFF, 4);  // total samples unknown
  qiv::store_le(b + 16, 0, 4);           // block index
  std::memcpy(b + header_prefix, data, size);
  read_offset_ = 0;
  return qiv::load_le(b + header_prefix, 4);
}

void wavpack_packet_decoder::open_context(const void* data, std::size_t size) {
  rebuild(data, size);
  char error[80] = {};
  // The block checksum covers the header the container dropped, which the
  // made-up one cannot restore; the samples' own CRC still guards the audio.
  const int flags = OPEN_NORMALIZE | OPEN_STREAMING | OPEN_NO_CHECKSUM;
  context_ = WavpackOpenFileInputEx64(&memory_reader_table, this, nullptr, error, flags, 0);
  if (!context_) vantrel_io::throw_io_data();
  if (!mode_known_) {
    mode_ = WavpackGetMode(context_);
    mode_known_ = true;
  }
}

void wavpack_packet_decoder::set_first_frame(const void* data, std::size_t size, const abort_signal&) {
  if (!context_) open_context(data, size);
}

void wavpack_packet_decoder::decode(const void* data, std::size_t size, audio_block& out, const abort_signal& abort) {
  if (reset_requested_) {
    close_context();
    reset_requested_ = false;
  }
  if (!context_) open_context(data, size);
  const std::uint32_t samples = rebuild(data, size);
  if (samples > largest_block_samples) vantrel_io::throw_io_data();
  if (!wavpack_fill_block(context_, mode_, abort, out, samples, buffer_)) vantrel_io::throw_io_data();
}

void wavpack_packet_decoder::get_info(track_info& out) const { wavpack_technical_info(context_, mode_, out); }
