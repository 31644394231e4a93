#include "playback/decoders/opus_header.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/byte_compare.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_info.h"
#include "metadata/track_info.h"
#include "playback/decoders/ogg_comment_fields.h"

namespace {

// R128 gains are relative to -23 LUFS, ReplayGain to 89 dB SPL (-18 LUFS).
constexpr double r128_to_replaygain_db = 5.0;

class packet_cursor {
public:
  packet_cursor(const void* data, std::uint32_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  bool has(std::uint32_t bytes) const { return bytes <= size_ - offset_; }
  std::uint32_t offset() const { return offset_; }
  std::uint8_t u8() { return data_[offset_++]; }
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(data_[offset_++]) << (8 * i);
    return value;
  }
  std::uint16_t u16() {
    const std::uint16_t value = static_cast<std::uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
    offset_ += 2;
    return value;
  }
  const char* text(std::uint32_t bytes) {
    const char* at = reinterpret_cast<const char*>(data_ + offset_);
    offset_ += bytes;
    return at;
  }

private:
  const std::uint8_t* data_;
  std::uint32_t size_;
  std::uint32_t offset_ = 0;
};

std::uint32_t checked_length(packet_cursor& cursor) {
  if (!cursor.has(4)) vantrel_io::throw_io_data();
  const std::uint32_t length = cursor.u32();
  if (!cursor.has(length)) vantrel_io::throw_io_data();
  return length;
}

}  // namespace

bool opus_head_parse(const void* packet, std::uint32_t size, opus_head& out) {
  if (!packet || size < 19 || std::memcmp(packet, "OpusHead", 8) != 0) return false;
  packet_cursor cursor(packet, size);
  cursor.text(8);
  out.version = cursor.u8();
  if (out.version & 0xF0) return false;
  out.channels = cursor.u8();
  if (out.channels == 0) return false;
  out.preskip = cursor.u16();
  out.input_sample_rate = cursor.u32();
  out.output_gain = static_cast<std::int16_t>(cursor.u16());
  out.mapping_family = cursor.u8();
  if (out.mapping_family == 0) {
    if (out.channels > 2) return false;
    out.streams = 1;
    out.coupled_streams = out.channels == 2 ? 1 : 0;
    out.mapping[0] = 0;
    out.mapping[1] = 1;
  } else {
    if (!cursor.has(2)) return false;
    out.streams = cursor.u8();
    out.coupled_streams = cursor.u8();
    if (out.streams == 0 || out.coupled_streams > out.streams || out.streams + out.coupled_streams > 255) return false;
    if (!cursor.has(out.channels)) return false;
    for (std::uint32_t i = 0; i < out.channels; ++i) {
      out.mapping[i] = cursor.u8();
      if (out.mapping[i] != 255 && out.mapping[i] >= out.streams + out.coupled_streams) return false;
    }
  }
  // Versions 0 and 1 define the whole header; later minor versions may add.
  return out.version >= 2 || cursor.offset() == size;
}

void opus_tags_parse(const void* packet, std::uint32_t size, std::int16_t output_gain, track_info& info) {
  if (!packet || size < 16 || std::memcmp(packet, "OpusTags", 8) != 0) vantrel_io::throw_io_data();
  packet_cursor cursor(packet, size);
  cursor.text(8);
  const std::uint32_t vendor_length = checked_length(cursor);
  info.set_tech("tool", track_info::until_nul, cursor.text(vendor_length), vendor_length);
  if (!cursor.has(4)) vantrel_io::throw_io_data();
  const std::uint32_t count = cursor.u32();
  ogg_comment_fields fields(info);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t length = checked_length(cursor);
    const char* text = cursor.text(length);
    std::string name;
    const char* value;
    std::size_t value_length;
    if (ogg_comment_fields::split(text, length, name, value, value_length) &&
        qiv::stricmp_ascii_equal(name.c_str(), "R128_TRACK_GAIN")) {
      const std::string number(value, value_length);
      const double track = std::strtol(number.c_str(), nullptr, 10);
      replaygain_info gains;
      gains.album_gain = static_cast<float>(output_gain / 256.0 + r128_to_replaygain_db);
      gains.track_gain = static_cast<float>((track + output_gain) / 256.0 + r128_to_replaygain_db);
      info.set_replaygain(gains);
      continue;
    }
    fields.add(text, length);
  }
  fields.finish();
}
