// Integer PCM tracks of Matroska files ("A_PCM/INT/LIT", "A_PCM/INT/BIG").
// The set-up record gives rate, channels and byte order; the bit depth comes
// by control, so the format is only checked at the first decode.
#include "playback/decoders/pcm_packet_decoder.h"

#include <cstring>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/packet_codec.h"

namespace {

constexpr std::uint32_t byte_order_bits = pcm_little_endian | pcm_big_endian;
constexpr std::uint32_t sign_bits = pcm_signed | pcm_unsigned;

class pcm_packet_decoder : public packet_decoder {
public:
  pcm_packet_decoder(std::uint32_t channels, std::uint32_t sample_rate, std::uint32_t byte_order)
      : channels_(channels), sample_rate_(sample_rate), format_flags_(byte_order) {}

  std::uint32_t control(const GUID& message, std::uint32_t value, void*, std::uint32_t) override {
    if (message == packet_control_set_sample_rate) sample_rate_ = value;
    else if (message == packet_control_set_bits_per_sample) bits_per_sample_ = value;
    else if (message == packet_control_set_channels) channels_ = value;
    else if (message == packet_control_set_signed)
      format_flags_ = (format_flags_ & ~sign_bits) | (value ? pcm_signed : pcm_unsigned);
    else if (message == packet_control_set_little_endian)
      format_flags_ = (format_flags_ & ~byte_order_bits) | (value ? pcm_little_endian : pcm_big_endian);
    return 0;
  }
  void get_info(track_info&) override {}
  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }
  void reset() override {}
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal&) override {
    if (bits_per_sample_ == 0 || bits_per_sample_ % 8 != 0 || channels_ == 0 || sample_rate_ == 0)
      throw vantrel_io::exception_io_data();
    format_flags_ = pcm_resolved_format(bits_per_sample_, format_flags_);
    out.set_data_int_ex(data, size, bits_per_sample_, sample_rate_, channels_, format_flags_,
                        default_channel_mask(channels_));
  }
  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  std::uint32_t bits_per_sample_ = 0;
  std::uint32_t channels_;
  std::uint32_t sample_rate_;
  std::uint32_t format_flags_;
};

// pcm_little_endian or pcm_big_endian by codec id; 0 for another stream.
std::uint32_t byte_order_of(const GUID& owner, const void* setup, std::uint32_t setup_size) {
  const char* id = matroska_codec_id(owner, setup, setup_size);
  if (!id) return 0;
  if (std::strcmp(id, "A_PCM/INT/LIT") == 0) return pcm_little_endian;
  if (std::strcmp(id, "A_PCM/INT/BIG") == 0) return pcm_big_endian;
  return 0;
}

class pcm_packet_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    return byte_order_of(owner, setup, setup_size) != 0;
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    const std::uint32_t byte_order = byte_order_of(owner, setup, setup_size);
    if (byte_order == 0) throw vantrel_io::exception_io_data();
    const auto& record = *static_cast<const matroska_codec_setup*>(setup);
    out = new service_counted<pcm_packet_decoder>(record.channels, record.sample_rate, byte_order);
  }
};

service_factory_single_t<pcm_packet_codec> pcm_packet_codec_registration;

}  // namespace

std::uint32_t pcm_resolved_format(std::uint32_t bits_per_sample, std::uint32_t flags) {
  if ((flags & byte_order_bits) == 0) flags |= pcm_little_endian;
  if ((flags & sign_bits) == 0) flags |= bits_per_sample > 8 ? pcm_signed : pcm_unsigned;
  return flags;
}
