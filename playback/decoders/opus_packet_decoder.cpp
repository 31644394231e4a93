// Opus through libopus's multistream decoder, always at 48 kHz. The input
// drops the pre-skip; the output gain and R128 gains only reach the
// ReplayGain record, never the samples.
#include "playback/decoders/opus_packet_decoder.h"

#include <ogg/ogg.h>
#include <opus_multistream.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/service_factory.h"
#include "foundation/byte_compare.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_info.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/ogg_comment_fields.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/r128_gain.h"
#include "playback/decoders/vorbis_channel_order.h"

namespace {

// Family 1 carries its channels in Vorbis order.
constexpr std::uint32_t vorbis_order_family = 1;


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


constexpr std::uint32_t opus_rate = 48000;
// The longest Opus packet: 120 ms at 48 kHz.
constexpr int max_frames = 5760;
constexpr std::uint32_t max_channels = 8;

class exception_opus : public vantrel_io::exception_io_data {
public:
  explicit exception_opus(int error) : exception_io_data(vantrel_io::io_message("", opus_strerror(error))) {}
};

void empty_block(audio_block& out) {
  out.set_sample_count(0);
  out.set_sample_rate(0);
  out.set_channels(0, 0);
  out.set_data_size(0);
}

// The identification header of an Ogg packet record or a Matroska set-up.
bool header_of(const GUID& owner, const void* setup, std::uint32_t setup_size, const void*& data,
               std::uint32_t& size) {
  if (!setup) return false;
  if (owner == ogg_owner_guid && setup_size == ogg_packet_record_size) {
    const auto& packet = *static_cast<const ogg_packet*>(setup);
    data = packet.packet;
    size = static_cast<std::uint32_t>(packet.bytes);
    return true;
  }
  if (const char* id = matroska_codec_id(owner, setup, setup_size); id && std::strcmp(id, "A_OPUS") == 0) {
    const auto& record = *static_cast<const matroska_codec_setup*>(setup);
    data = record.private_data;
    size = record.private_size;
    return true;
  }
  return false;
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

void opus_decoder_mapping(const opus_head& head, std::uint8_t (&out)[255]) {
  for (std::uint32_t i = 0; i < head.channels && i < 8; ++i) {
    out[i] = head.mapping_family == vorbis_order_family ? head.mapping[vorbis_channel_order(head.channels)[i]]
                                                        : head.mapping[i];
  }
}

// Reordered family-1 output puts the LFE after the centre and the surrounds
// last, as the Vorbis masks say; the default masks would call the fourth
// channel of a 5-channel stream LFE.
std::uint32_t opus_output_channel_mask(const opus_head& head) {
  return head.mapping_family == vorbis_order_family ? vorbis_channel_mask(head.channels)
                                                    : default_channel_mask(head.channels);
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
  // Both R128 gains count from the output gain (RFC 7845). They go to the
  // gain record, not to the fields: a save writes the album gain into the
  // header and the track gain relative to it, so a kept album comment would
  // count twice afterwards.
  std::optional<double> r128_track, r128_album;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t length = checked_length(cursor);
    const char* text = cursor.text(length);
    if (ogg_comment_fields::is_picture(text, length)) continue;
    std::string name;
    const char* value;
    std::size_t value_length;
    if (ogg_comment_fields::split(text, length, name, value, value_length)) {
      const bool track = qiv::stricmp_ascii_equal(name.c_str(), "R128_TRACK_GAIN");
      if (track || qiv::stricmp_ascii_equal(name.c_str(), "R128_ALBUM_GAIN")) {
        const std::string number(value, value_length);
        (track ? r128_track : r128_album) = static_cast<double>(std::strtol(number.c_str(), nullptr, 10));
        continue;
      }
    }
    fields.add(text, length);
  }
  fields.finish();
  auto to_replaygain = [&](double r128) { return static_cast<float>((r128 + output_gain) / 256.0 + r128_to_replaygain_db); };
  if (r128_track) {
    replaygain_info gains;
    gains.album_gain = to_replaygain(r128_album.value_or(0.0));
    gains.track_gain = to_replaygain(*r128_track);
    info.set_replaygain(gains);
  } else if (r128_album) {
    replaygain_info gains = info.get_replaygain();
    gains.album_gain = to_replaygain(*r128_album);
    info.set_replaygain(gains);
  }
}

namespace {

// The comment packet as opus_tags_parse reads it, without the picture
// entries it passes over anyway: a cover is most of the packet, and the
// decoder keeps its copy for as long as it lives. A packet whose structure
// does not hold is kept whole, for the parse to judge.
void keep_comment_packet(const std::uint8_t* packet, std::uint32_t size, std::vector<std::uint8_t>& out) {
  out.clear();
  const auto whole = [&] { out.assign(packet, packet + size); };
  if (!packet || size < 16 || std::memcmp(packet, "OpusTags", 8) != 0) return whole();
  packet_cursor cursor(packet, size);
  cursor.text(8);
  const std::uint32_t vendor_length = cursor.u32();
  if (!cursor.has(vendor_length)) return whole();
  cursor.text(vendor_length);
  if (!cursor.has(4)) return whole();
  const std::uint32_t count_at = cursor.offset();
  const std::uint32_t count = cursor.u32();
  out.assign(packet, packet + cursor.offset());
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!cursor.has(4)) return whole();
    const std::uint32_t start = cursor.offset();
    const std::uint32_t length = cursor.u32();
    if (!cursor.has(length)) return whole();
    const char* text = cursor.text(length);
    if (ogg_comment_fields::is_picture(text, length)) continue;
    out.insert(out.end(), packet + start, packet + cursor.offset());
    ++kept;
  }
  // What follows the entries is the parse's business too.
  out.insert(out.end(), packet + cursor.offset(), packet + size);
  for (int i = 0; i < 4; ++i) out[count_at + i] = static_cast<std::uint8_t>(kept >> (8 * i));
}

class opus_decoder_impl : public packet_decoder {
public:
  explicit opus_decoder_impl(const opus_head& head) : head_(head) {
    if (head_.channels < 1 || head_.channels > max_channels) vantrel_io::throw_io_data();
    opus_decoder_mapping(head_, decoder_mapping_);
    channel_mask_ = opus_output_channel_mask(head_);
  }

  ~opus_decoder_impl() { reset(); }

  std::uint32_t control(const GUID& message, std::uint32_t, void* pointer, std::uint32_t size) override {
    if (message == packet_control_next_header) {
      if (size != ogg_packet_record_size || !pointer) vantrel_io::throw_io_data();
      const auto& packet = *static_cast<const ogg_packet*>(pointer);
      if (packet.packetno != 1) vantrel_io::throw_io_data();
      keep_comment_packet(packet.packet, static_cast<std::uint32_t>(std::max(packet.bytes, 0L)), comments_);
      return 1;
    }
    if (message == packet_control_get_sample_rate) return opus_rate;
    if (message == packet_control_get_start_skip) return head_.preskip;
    return 0;
  }

  void get_info(track_info& out) override {
    out.set_tech_int("channels", head_.channels);
    out.set_tech_int("samplerate", opus_rate);
    out.set_tech("codec", track_info::until_nul, "Opus", track_info::until_nul);
    out.set_tech("encoding", track_info::until_nul, "lossy", track_info::until_nul);
    if (head_.input_sample_rate != 0) out.set_tech_int("samplerate_original", head_.input_sample_rate);
    try {
      opus_tags_parse(comments_.data(), static_cast<std::uint32_t>(comments_.size()), head_.output_gain, out);
    } catch (const vantrel_io::exception_io_data&) {
      // A stream without a usable comment packet simply has no tags.
    }
    replaygain_info gains = out.get_replaygain();
    if (head_.output_gain != 0 && !replaygain_info::gain_present(gains.album_gain)) {
      gains.album_gain = gains.track_gain = static_cast<float>(head_.output_gain / 256.0 + r128_to_replaygain_db);
      out.set_replaygain(gains);
    }
  }

  std::uint32_t seek_preroll_packets() override { return 1; }
  double seek_preroll_seconds() override { return 0.1; }

  void reset() override {
    if (decoder_) opus_multistream_decoder_destroy(decoder_);
    decoder_ = nullptr;
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    abort.check_and_throw();
    if (size == 0) {
      empty_block(out);
      return;
    }
    if (!decoder_) {
      int error = OPUS_OK;
      decoder_ = opus_multistream_decoder_create(opus_rate, static_cast<int>(head_.channels),
                                                 static_cast<int>(head_.streams),
                                                 static_cast<int>(head_.coupled_streams), decoder_mapping_, &error);
      if (!decoder_ || error != OPUS_OK) {
        if (decoder_) reset();
        throw exception_opus(error != OPUS_OK ? error : OPUS_INTERNAL_ERROR);
      }
    }
    out.set_channels(head_.channels, channel_mask_);
    out.set_sample_rate(opus_rate);
    out.set_data_size(head_.channels * max_frames);
    const int frames = opus_multistream_decode_float(decoder_, static_cast<const unsigned char*>(data),
                                                     static_cast<opus_int32>(size), out.get_data(), max_frames, 0);
    if (frames < 0) {
      // A damaged packet yields no samples; playback goes on.
      empty_block(out);
      return;
    }
    out.set_sample_count(static_cast<std::uint32_t>(frames));
    out.set_data_size(static_cast<std::uint32_t>(frames) * head_.channels);
  }

  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  opus_head head_;
  std::uint8_t decoder_mapping_[255] = {};
  std::uint32_t channel_mask_ = 0;
  OpusMSDecoder* decoder_ = nullptr;
  std::vector<std::uint8_t> comments_;
};

class opus_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    const void* data;
    std::uint32_t size;
    if (!header_of(owner, setup, setup_size, data, size)) return false;
    if (owner == matroska_owner_guid) return true;
    opus_head head;
    return opus_head_parse(data, size, head);
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    const void* data;
    std::uint32_t size;
    opus_head head;
    if (!header_of(owner, setup, setup_size, data, size) || !opus_head_parse(data, size, head)) {
      vantrel_io::throw_io_data();
    }
    out = new service_counted<opus_decoder_impl>(head);
  }
};

service_factory_single_t<opus_codec> opus_codec_registration;

}  // namespace
