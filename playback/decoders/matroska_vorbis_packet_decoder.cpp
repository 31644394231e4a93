// Vorbis in Matroska and WebM ("A_VORBIS"): the three header packets arrive
// together in the codec private data, Xiph-laced; every block frame is one
// audio packet. The container supplies the stream's other information.
#include <vorbis/codec.h>

#include <cstring>
#include <vector>

#include "core/service_factory.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/vorbis_channel_order.h"
#include "playback/decoders/vorbis_pcm_drain.h"

namespace {

bool is_matroska_vorbis(const GUID& owner, const void* setup, std::uint32_t setup_size) {
  const char* id = matroska_codec_id(owner, setup, setup_size);
  return id && std::strcmp(id, "A_VORBIS") == 0;
}

// The private data: a count byte of 2, the Xiph-laced sizes of the first two
// headers, then the three headers, the last taking what remains.
std::vector<std::vector<unsigned char>> split_headers(const std::uint8_t* data, std::uint32_t size) {
  if (!data || size < 1 || data[0] != 2) vantrel_io::throw_io_data();
  std::uint32_t at = 1;
  std::uint64_t sizes[2] = {0, 0};
  for (auto& one : sizes) {
    for (;;) {
      if (at >= size) vantrel_io::throw_io_data();
      const std::uint8_t byte = data[at++];
      one += byte;
      if (byte != 255) break;
    }
  }
  if (sizes[0] + sizes[1] > size - at) vantrel_io::throw_io_data();
  std::vector<std::vector<unsigned char>> headers;
  const std::uint8_t* next = data + at;
  for (std::uint64_t one : sizes) {
    headers.emplace_back(next, next + one);
    next += one;
  }
  headers.emplace_back(next, data + size);
  return headers;
}

class matroska_vorbis_decoder : public packet_decoder {
public:
  matroska_vorbis_decoder(const matroska_codec_setup& setup, bool for_decoding)
      : headers_(split_headers(static_cast<const std::uint8_t*>(setup.private_data), setup.private_size)) {
    if (for_decoding) start();
  }
  ~matroska_vorbis_decoder() { tear_down(); }

  std::uint32_t control(const GUID&, std::uint32_t, void*, std::uint32_t) override { return 0; }
  void get_info(track_info& out) override {
    out.set_tech("codec", track_info::until_nul, "Vorbis", track_info::until_nul);
    out.set_tech("encoding", track_info::until_nul, "lossy", track_info::until_nul);
  }
  std::uint32_t seek_preroll_packets() override { return 1; }
  double seek_preroll_seconds() override { return 0.01; }
  void reset() override {
    if (ready_) start();
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal&) override {
    if (!ready_) vantrel_io::throw_io_data();
    ogg_packet packet{};
    packet.packet = static_cast<unsigned char*>(const_cast<void*>(data));
    packet.bytes = static_cast<long>(size);
    packet.packetno = packet_number_++;
    if (vorbis_synthesis(&block_, &packet) != 0) {
      // Torn down: every later packet fails until the stream is reopened.
      tear_down();
      vantrel_io::throw_io_data();
    }
    vorbis_synthesis_blockin(&dsp_, &block_);
    vorbis_drain_into(dsp_, info_, buffer_, out);
    if (out.get_sample_count() == 0) vorbis_empty_block(out);
  }

  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  void start() {
    tear_down();
    vorbis_info_init(&info_);
    vorbis_comment_init(&comment_);
    headers_read_ = true;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      ogg_packet packet{};
      packet.packet = headers_[i].data();
      packet.bytes = static_cast<long>(headers_[i].size());
      packet.b_o_s = i == 0;
      packet.packetno = static_cast<ogg_int64_t>(i);
      if (vorbis_synthesis_headerin(&info_, &comment_, &packet) < 0) {
        tear_down();
        vantrel_io::throw_io_data();
      }
    }
    if (info_.channels < 1 || info_.channels > static_cast<int>(vorbis_max_channels)) {
      tear_down();
      vantrel_io::throw_io_data();
    }
    if (vorbis_synthesis_init(&dsp_, &info_) != 0) {
      vorbis_dsp_clear(&dsp_);
      tear_down();
      vantrel_io::throw_io_data();
    }
    vorbis_synthesis_restart(&dsp_);
    if (vorbis_block_init(&dsp_, &block_) != 0) {
      vorbis_dsp_clear(&dsp_);
      tear_down();
      vantrel_io::throw_io_data();
    }
    ready_ = true;
    packet_number_ = 3;
  }

  void tear_down() {
    if (ready_) {
      vorbis_block_clear(&block_);
      vorbis_dsp_clear(&dsp_);
      ready_ = false;
    }
    if (headers_read_) {
      vorbis_comment_clear(&comment_);
      vorbis_info_clear(&info_);
      headers_read_ = false;
    }
  }

  std::vector<std::vector<unsigned char>> headers_;
  vorbis_info info_{};
  vorbis_comment comment_{};
  vorbis_dsp_state dsp_{};
  vorbis_block block_{};
  bool headers_read_ = false;
  bool ready_ = false;
  ogg_int64_t packet_number_ = 3;
  std::vector<float> buffer_;
};

class matroska_vorbis_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    return is_matroska_vorbis(owner, setup, setup_size);
  }
  void open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    if (!is_matroska_vorbis(owner, setup, setup_size)) vantrel_io::throw_io_data();
    out = new service_counted<matroska_vorbis_decoder>(*static_cast<const matroska_codec_setup*>(setup),
                                                       for_decoding);
  }
};

service_factory_single_t<matroska_vorbis_codec> matroska_vorbis_codec_registration;

}  // namespace
