// The registered entry through which Matroska "A_WAVPACK4" tracks reach the
// WavPack packet decoder.
#include <cstring>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/wavpack_packet_decoder.h"

namespace {

const matroska_codec_setup* wavpack_setup(const GUID& owner, const void* setup, std::uint32_t setup_size) {
  const char* id = matroska_codec_id(owner, setup, setup_size);
  if (!id || std::strcmp(id, "A_WAVPACK4") != 0) return nullptr;
  const auto* record = static_cast<const matroska_codec_setup*>(setup);
  if (!record->private_data ||
      !wavpack_packet_decoder::accepts_codec_private(record->private_data, record->private_size))
    return nullptr;
  return record;
}

class wavpack_packet_decoder_object : public packet_decoder {
public:
  explicit wavpack_packet_decoder_object(const matroska_codec_setup& setup)
      : decoder_(setup.private_data, setup.private_size) {}

  std::uint32_t control(const GUID&, std::uint32_t, void*, std::uint32_t) override { return 0; }
  void get_info(track_info& out) override { decoder_.get_info(out); }
  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }
  void reset() override { decoder_.reset(); }
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    decoder_.decode(data, size, out, abort);
  }
  bool wants_first_frame() override { return true; }
  void set_first_frame(const void* data, std::uint32_t size, const abort_signal& abort) override {
    decoder_.set_first_frame(data, size, abort);
  }

private:
  wavpack_packet_decoder decoder_;
};

class wavpack_packet_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    return wavpack_setup(owner, setup, setup_size) != nullptr;
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    const matroska_codec_setup* record = wavpack_setup(owner, setup, setup_size);
    if (!record) vantrel_io::throw_io_data();
    out = new service_counted<wavpack_packet_decoder_object>(*record);
  }
};

service_factory_single_t<wavpack_packet_codec> wavpack_packet_codec_registration;

}  // namespace
