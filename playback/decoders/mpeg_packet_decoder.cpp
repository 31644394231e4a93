#include "playback/decoders/mpeg_packet_decoder.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/mpeg_decoder_backend.h"
#include "playback/decoders/packet_codec.h"

std::uint32_t mpeg_decoder_backend::control(const GUID& message, std::uint32_t value) {
  if (message == packet_control_set_sample_rate) sample_rate_ = value;
  else if (message == packet_control_set_channels) channels_ = value;
  return 0;
}

mpeg_backend_kind mpeg_preferred_backend(std::uint32_t windows_version) {
  return windows_version < 0x600 ? mpeg_backend_kind::acm : mpeg_backend_kind::media_foundation;
}

namespace {

std::uint32_t running_windows_version() {
  const DWORD version = GetVersion();
  return (version & 0xFF) * 256 + ((version >> 8) & 0xFF);
}

class mpeg_packet_decoder : public packet_decoder {
public:
  explicit mpeg_packet_decoder(std::uint32_t layer) : layer_(layer) {
    if (mpeg_preferred_backend(running_windows_version()) == mpeg_backend_kind::media_foundation)
      backend_ = make_mf_mpeg_backend();
    if (!backend_) backend_ = make_acm_mpeg_backend();
    else on_transform_ = true;
  }

  std::uint32_t control(const GUID& message, std::uint32_t value, void*, std::uint32_t) override {
    if (message == packet_control_set_sample_rate) sample_rate_ = value;
    if (message == packet_control_set_channels) channels_ = value;
    return backend_->control(message, value);
  }
  void get_info(track_info& out) override {
    static const char* const codecs[] = {"MP1", "MP2", "MP3"};
    if (layer_ < 1 || layer_ > 3) throw vantrel_io::exception_io_data();
    out.set_tech("codec", 5, codecs[layer_ - 1], 3);
    out.set_tech("encoding", 8, "lossy", 5);
  }
  std::uint32_t seek_preroll_packets() override { return 10; }
  double seek_preroll_seconds() override { return 0.36; }
  void reset() override { backend_->reset(); }
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    if (!on_transform_ || decoded_once_) {
      backend_->decode(data, size, out, abort);
      return;
    }
    // A transform that cannot take the first frame gives way to ACM for good.
    try {
      backend_->decode(data, size, out, abort);
    } catch (const vantrel_io::exception_io&) {
      backend_ = make_acm_mpeg_backend();
      backend_->control(packet_control_set_sample_rate, sample_rate_);
      backend_->control(packet_control_set_channels, channels_);
      on_transform_ = false;
      backend_->decode(data, size, out, abort);
    }
    decoded_once_ = true;
  }
  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  std::unique_ptr<mpeg_decoder_backend> backend_;
  std::uint32_t layer_;
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  bool on_transform_ = false;
  bool decoded_once_ = false;
};

// Layer by owner and set-up; 0 when the stream is not MPEG audio.
std::uint32_t layer_of(const GUID& owner, std::uint32_t param, const void* setup, std::uint32_t setup_size) {
  if (owner == mpeg_layer1_owner_guid) return 1;
  if (owner == mpeg_layer2_owner_guid) return 2;
  if (owner == mpeg_layer3_owner_guid) return 3;
  if (owner == mp4_owner_guid) return param == 105 || param == 107 ? 3 : 0;
  if (const char* id = matroska_codec_id(owner, setup, setup_size)) {
    if (std::strcmp(id, "A_MPEG/L3") == 0) return 3;
    if (std::strcmp(id, "A_MPEG/L2") == 0) return 2;
    if (std::strcmp(id, "A_MPEG/L1") == 0) return 1;
  }
  return 0;
}

class mpeg_packet_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t param, const void* setup, std::uint32_t setup_size) override {
    return layer_of(owner, param, setup, setup_size) != 0;
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t param, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    const std::uint32_t layer = layer_of(owner, param, setup, setup_size);
    if (layer == 0) throw vantrel_io::exception_io_data();
    packet_decoder_ptr made(new service_counted<mpeg_packet_decoder>(layer));
    made->reset();
    out = std::move(made);
  }
};

service_factory_single_t<mpeg_packet_codec> mpeg_packet_codec_registration;

}  // namespace
