// The registered entry through which ALAC tracks of MP4 files and Matroska
// "A_ALAC" tracks reach the ALAC packet decoder.
#include <cstring>
#include <vector>

#include "core/service_factory.h"
#include "inputs/alac/alac_packet_decoder.h"
#include "io/io_exceptions.h"
#include "playback/decoders/packet_codec.h"

namespace {

// Matroska keeps the 24-byte configuration alone; the decoder takes it behind
// the "alac" box's version word, as MP4 files carry it.
bool matroska_alac_setup(const GUID& owner, const void* setup, std::uint32_t setup_size,
                         std::vector<std::uint8_t>& out) {
  const char* id = matroska_codec_id(owner, setup, setup_size);
  if (!id || std::strcmp(id, "A_ALAC") != 0) return false;
  const auto* record = static_cast<const matroska_codec_setup*>(setup);
  if (!record->private_data || record->private_size < 24) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(record->private_data);
  out.assign(4, 0);
  out.insert(out.end(), bytes, bytes + record->private_size);
  return true;
}

class alac_packet_decoder_object : public packet_decoder {
public:
  alac_packet_decoder_object(const void* setup, std::uint32_t setup_size) : decoder_(setup, setup_size) {}

  std::uint32_t control(const GUID&, std::uint32_t, void*, std::uint32_t) override { return 0; }
  void get_info(track_info& out) override { decoder_.get_info(out); }
  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }
  void reset() override {}
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    decoder_.decode(data, size, out, abort);
  }
  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  alac_packet_decoder decoder_;
};

class alac_packet_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    std::vector<std::uint8_t> unused;
    return owner == alac_owner_guid || matroska_alac_setup(owner, setup, setup_size, unused);
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    if (owner == alac_owner_guid) {
      out = new service_counted<alac_packet_decoder_object>(setup, setup_size);
      return;
    }
    std::vector<std::uint8_t> mp4_form;
    if (!matroska_alac_setup(owner, setup, setup_size, mp4_form)) vantrel_io::throw_io_data();
    out = new service_counted<alac_packet_decoder_object>(mp4_form.data(), static_cast<std::uint32_t>(mp4_form.size()));
  }
};

service_factory_single_t<alac_packet_codec> alac_packet_codec_registration;

}  // namespace
