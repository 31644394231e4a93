// AAC packets of MP4 and Matroska tracks, decoded by the system's Media
// Foundation AAC decoder transform; the system carries no AAC decoder of its
// own. The transform is found and set up at the first packet, once the
// container has sent the sample rate and channel count.
#include <windows.h>
#include <mfapi.h>
#include <mftransform.h>

#include <string>
#include <vector>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/aac_setup.h"
#include "playback/decoders/mf_audio_decoder.h"
#include "playback/decoders/mf_audio_guids.h"
#include "playback/decoders/packet_codec.h"

namespace {

constexpr GUID aac_subtype = {0x00001610, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr std::uint32_t preroll_packets = 32;
constexpr std::uint32_t samples_per_packet = 1024;

class exception_no_mf_codec : public vantrel_io::exception_io_data {
public:
  exception_no_mf_codec()
      : exception_io_data(vantrel_io::io_message("exception_no_mf_codec", "No Media Foundation codec found")) {}
};

// More than two channels need the decoder to take the speakers they are
// named for; where it takes none of them, or fails on every packet, the
// channels cannot play here.
class exception_aac_channel_layout : public vantrel_io::exception_io_data {
public:
  explicit exception_aac_channel_layout(std::uint32_t channels) : exception_io_data(message(channels)) {}

private:
  static vantrel_io::io_message message(std::uint32_t channels) {
    vantrel_io::io_message text("exception_aac_channel_layout",
                                "The system's AAC decoder cannot play this layout of {channels} channels");
    text.fill_placeholder("channels", std::to_string(channels).c_str());
    return text;
  }
};

bool is_mp4_aac_object_type(std::uint32_t type) { return type == 0x40 || (type >= 0x66 && type <= 0x68); }

// The first decoder class listed for AAC input, asked with float output, then
// PCM output, then any output.
CLSID find_aac_decoder_class() {
  const MFT_REGISTER_TYPE_INFO input{MFMediaType_Audio, aac_subtype};
  const MFT_REGISTER_TYPE_INFO float_output{MFMediaType_Audio, mf_float_subtype};
  const MFT_REGISTER_TYPE_INFO pcm_output{MFMediaType_Audio, mf_pcm_subtype};
  const MFT_REGISTER_TYPE_INFO* outputs[] = {&float_output, &pcm_output, nullptr};
  for (const MFT_REGISTER_TYPE_INFO* output : outputs) {
    CLSID* classes = nullptr;
    UINT32 count = 0;
    if (FAILED(MFTEnum(mf_audio_decoder_category, 0, const_cast<MFT_REGISTER_TYPE_INFO*>(&input),
                       const_cast<MFT_REGISTER_TYPE_INFO*>(output), nullptr, &classes, &count)))
      continue;
    const CLSID found = count ? classes[0] : CLSID{};
    CoTaskMemFree(classes);
    if (count) return found;
  }
  throw exception_no_mf_codec();
}

// MF_MT_USER_DATA of an AAC input type: the HEAACWAVEINFO fields behind
// WAVEFORMATEX (raw payload, profile and level 0x2A, structure 0, reserved),
// then the configuration.
std::vector<std::uint8_t> aac_user_data(const std::vector<std::uint8_t>& setup) {
  std::vector<std::uint8_t> data(12, 0);
  data[2] = 0x2A;
  data.insert(data.end(), setup.begin(), setup.end());
  return data;
}

class aac_packet_decoder : public packet_decoder {
public:
  // `reads_setup`: the configuration is the stream's own, not one built from
  // a Matroska codec id, and says what the decoder puts out.
  aac_packet_decoder(std::vector<std::uint8_t> setup, bool reads_setup)
      : setup_(std::move(setup)), reads_setup_(reads_setup) {}

  std::uint32_t control(const GUID& message, std::uint32_t value, void*, std::uint32_t) override {
    if (message == packet_control_set_sample_rate) sample_rate_ = value;
    if (message == packet_control_set_channels) channels_ = value;
    return 0;
  }
  void get_info(track_info& out) override {
    out.set_tech("codec", track_info::until_nul, "AAC", track_info::until_nul);
    out.set_tech("encoding", track_info::until_nul, "lossy", track_info::until_nul);
    // MP4 sample entries carry 2 channels whatever the stream holds, and the
    // core rate where SBR doubles it.
    const aac_output_format format = output_format();
    if (format.sample_rate) out.set_tech_int("samplerate", format.sample_rate);
    if (format.channels) out.set_tech_int("channels", format.channels);
  }
  std::uint32_t seek_preroll_packets() override { return preroll_packets; }
  double seek_preroll_seconds() override { return preroll_packets * double(samples_per_packet) / 8000; }
  void reset() override { decoder_.flush(); }
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    abort.check_and_throw();
    if (!decoder_.has_transform()) create();
    try {
      decoder_.process(data, size, out, abort);
    } catch (const vantrel_io::exception_io_data&) {
      if (!produced_ && channels_configured_ > 2) throw exception_aac_channel_layout(channels_configured_);
      throw;
    }
    if (out.get_sample_count() > 0) produced_ = true;
  }
  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  void create() {
    if (!decoder_.start()) throw exception_no_mf_codec();
    decoder_.create(find_aac_decoder_class());
    mf_input_format format;
    format.subtype = aac_subtype;
    const aac_output_format stream = output_format();
    format.sample_rate = stream.sample_rate ? stream.sample_rate : sample_rate_;
    format.channels = stream.channels ? stream.channels : channels_;
    // The speakers come from the configuration whichever container carries
    // it; without them the decoder is asked for AAC's usual layout.
    const aac_output_format layout = aac_output_format_of(setup_.data(), setup_.size(), sample_rate_);
    format.channel_mask = layout.channels == format.channels && layout.channel_mask
                              ? layout.channel_mask
                              : aac_default_channel_mask(format.channels);
    channels_configured_ = format.channels;
    if (format.channels > 2 && !format.channel_mask) throw exception_aac_channel_layout(format.channels);
    format.user_data = aac_user_data(setup_);
    format.raw_aac_payload = true;
    try {
      decoder_.configure(format);
    } catch (const vantrel_io::exception_io_data&) {
      if (format.channels > 2) throw exception_aac_channel_layout(format.channels);
      throw;
    }
  }

  aac_output_format output_format() const {
    return reads_setup_ ? aac_output_format_of(setup_.data(), setup_.size(), sample_rate_) : aac_output_format{};
  }

  std::vector<std::uint8_t> setup_;
  bool reads_setup_;
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint32_t channels_configured_ = 0;
  // Whether the transform has given any audio yet.
  bool produced_ = false;
  mf_audio_decoder decoder_;
};

class aac_packet_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t param, const void* setup, std::uint32_t setup_size) override {
    if (owner == mp4_owner_guid) return is_mp4_aac_object_type(param);
    return is_matroska_aac_codec_id(matroska_codec_id(owner, setup, setup_size));
  }
  void open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t param, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    std::vector<std::uint8_t> config;
    if (owner == mp4_owner_guid) {
      if (!is_mp4_aac_object_type(param)) vantrel_io::throw_io_data();
      const auto* bytes = static_cast<const std::uint8_t*>(setup);
      if (bytes) config.assign(bytes, bytes + setup_size);
    } else if (const char* id = matroska_codec_id(owner, setup, setup_size); is_matroska_aac_codec_id(id)) {
      config = aac_setup_from_matroska(*static_cast<const matroska_codec_setup*>(setup));
    } else {
      vantrel_io::throw_io_data();
    }
    // Channels without speakers cannot be asked of the decoder: playing
    // such a stream fails at once with the reason, while its tags and
    // details still read.
    const aac_output_format layout = aac_output_format_of(config.data(), config.size(), 0);
    if (for_decoding && layout.channels > 2 && !layout.channel_mask)
      throw exception_aac_channel_layout(layout.channels);
    out = new service_counted<aac_packet_decoder>(std::move(config), owner == mp4_owner_guid);
  }
};

service_factory_single_t<aac_packet_codec> aac_packet_codec_registration;

}  // namespace
