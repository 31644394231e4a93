// Opus through libopus's multistream decoder, always at 48 kHz. The input
// drops the pre-skip; the output gain and R128 gains only reach the
// ReplayGain record, never the samples.
#include <ogg/ogg.h>
#include <opus_multistream.h>

#include <cstring>

#include <vector>

#include "core/service_factory.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_info.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/opus_header.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/vorbis_channel_order.h"

namespace {

constexpr std::uint32_t opus_rate = 48000;
// The longest Opus packet: 120 ms at 48 kHz.
constexpr int max_frames = 5760;
constexpr std::uint32_t max_channels = 8;
// Family 1 carries its channels in Vorbis order.
constexpr std::uint32_t vorbis_order_family = 1;

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

class opus_decoder_impl : public packet_decoder {
public:
  explicit opus_decoder_impl(const opus_head& head) : head_(head) {
    if (head_.channels < 1 || head_.channels > max_channels) vantrel_io::throw_io_data();
    for (std::uint32_t i = 0; i < head_.channels; ++i) {
      decoder_mapping_[i] = head_.mapping_family == vorbis_order_family
                                ? head_.mapping[vorbis_channel_order(head_.channels)[i]]
                                : head_.mapping[i];
    }
    // Reordered family-1 output is in WAVEFORMATEXTENSIBLE order, where
    // Vorbis puts the LFE after the surrounds, not the default layout.
    channel_mask_ = head_.mapping_family == vorbis_order_family ? vorbis_channel_mask(head_.channels)
                                                                 : default_channel_mask(head_.channels);
  }

  ~opus_decoder_impl() { reset(); }

  std::uint32_t control(const GUID& message, std::uint32_t, void* pointer, std::uint32_t size) override {
    if (message == packet_control_next_header) {
      if (size != ogg_packet_record_size || !pointer) vantrel_io::throw_io_data();
      const auto& packet = *static_cast<const ogg_packet*>(pointer);
      if (packet.packetno != 1) vantrel_io::throw_io_data();
      comments_.assign(packet.packet, packet.packet + packet.bytes);
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
      gains.album_gain = gains.track_gain = static_cast<float>(head_.output_gain / 256.0 + 5.0);
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
