// FLAC in Matroska ("A_FLAC"): the codec private data is the native stream
// header ("fLaC" and its metadata blocks), each packet one frame. The packets
// reach an unseekable stream decoder through a memory file.
#include <cstring>
#include <memory>
#include <vector>

#include "core/service_factory.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/packet_codec.h"
#include "playback/inputs/flac/flac_packet_feeding.h"
#include "playback/inputs/flac/flac_stream_decoder.h"

namespace {


// The id compares whole, terminator included: "A_FLAC2" or "a_flac" is not ours.
bool is_matroska_flac(const GUID& owner, const void* setup, std::uint32_t setup_size) {
  const char* id = matroska_codec_id(owner, setup, setup_size);
  return id && std::strcmp(id, "A_FLAC") == 0;
}

class matroska_flac_packet_decoder : public packet_decoder {
public:
  explicit matroska_flac_packet_decoder(const matroska_codec_setup& setup) {
    const auto* bytes = static_cast<const std::uint8_t*>(setup.private_data);
    if (!bytes && setup.private_size != 0) vantrel_io::throw_io_data();
    const abort_signal& never_raised = never_raised_abort_signal();
    decoder_ = std::make_unique<flac_stream_decoder>(false);
    file_ = vantrel_io::make_memory_file();
    if (setup.private_size) file_->write(bytes, setup.private_size, never_raised);
    file_->seek(0, never_raised);
    decoder_->open(file_, stream_info_, never_raised);
  }

  std::uint32_t control(const GUID& message, std::uint32_t value, void* pointer, std::uint32_t) override {
    if (message == packet_control_set_flag) {
      decoder_->set_integrity_check(value != 0);
    } else if (message == packet_control_set_receiver) {
      sink_ = pointer ? new service_counted<flac_sink_to_receiver>(static_cast<stream_receiver*>(pointer)) : nullptr;
      decoder_->set_message_sink(sink_.get());
    }
    return 0;
  }

  void get_info(track_info& out) override { out.copy_all_from(stream_info_); }
  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }
  void reset() override { decoder_->flush(never_raised_abort_signal()); }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    flac_decode_packet(*decoder_, *file_, data, size, out, abort);
  }

  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  std::unique_ptr<flac_stream_decoder> decoder_;
  vantrel_io::file_ptr file_;
  track_info_impl stream_info_;
  service_ptr<decoder_message_sink> sink_;
};

class matroska_flac_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    return is_matroska_flac(owner, setup, setup_size);
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    if (!is_matroska_flac(owner, setup, setup_size)) vantrel_io::throw_io_data();
    out = new service_counted<matroska_flac_packet_decoder>(*static_cast<const matroska_codec_setup*>(setup));
  }
};

service_factory_single_t<matroska_flac_codec> matroska_flac_codec_registration;

}  // namespace
