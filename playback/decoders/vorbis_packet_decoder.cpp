// Ogg Vorbis through libvorbis: the Ogg input feeds the three header packets
// one by one, then announces each audio packet's record before decoding it
// so that libvorbis sees the real packet number, granule position and
// end-of-stream flag. Output is interleaved float in the system's channel
// order.
#include <vorbis/codec.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/service_factory.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/ogg_comment_fields.h"
#include "playback/decoders/ogg_packet_record.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/vorbis_channel_order.h"
#include "playback/decoders/vorbis_comment_packet.h"
#include "playback/decoders/vorbis_pcm_drain.h"

namespace {

// libvorbis answers this for a packet that holds no audio.
constexpr int vorbis_not_audio = -135;

// Packet type 5 and the codec's signature, as libvorbis first checks them.
bool is_setup_header(const ogg_packet& packet) {
  return packet.packet != nullptr && packet.bytes > 7 && packet.packet[0] == 5 &&
         std::memcmp(packet.packet + 1, "vorbis", 6) == 0;
}

void comments_to_info(const std::vector<std::string>& comments, track_info& info) {
  ogg_comment_fields fields(info);
  for (const std::string& comment : comments) fields.add(comment.c_str(), comment.size());
  fields.finish();
}

class ogg_vorbis_decoder : public packet_decoder {
public:
  ogg_vorbis_decoder(const ogg_packet& identification, bool for_decoding) : for_decoding_(for_decoding) {
    vorbis_info_init(&info_);
    vorbis_comment_init(&comment_);
    if (vorbis_synthesis_headerin(&info_, &comment_, const_cast<ogg_packet*>(&identification)) < 0 ||
        info_.channels < 1 || info_.channels > static_cast<int>(vorbis_max_channels)) {
      vorbis_comment_clear(&comment_);
      vorbis_info_clear(&info_);
      vantrel_io::throw_io_data();
    }
  }

  ~ogg_vorbis_decoder() {
    tear_down_synthesis();
    vorbis_comment_clear(&comment_);
    vorbis_info_clear(&info_);
  }

  std::uint32_t control(const GUID& message, std::uint32_t, void* pointer, std::uint32_t size) override {
    if (message == packet_control_next_header) {
      ogg_packet packet = ogg_packet_record(pointer, size);
      if (packet.packetno != 1 && packet.packetno != 2) vantrel_io::throw_io_data();
      if (packet.packetno == 1) {
        read_comment_header(packet);
        return 0;
      }
      // The set-up header holds only the codebooks and modes, which nothing
      // but decoding uses; unpacking them (bit by bit, with an allocation
      // per codebook) costs a reader of the stream's information, as the
      // library scan is, more than the rest of the file. Such a reader only
      // checks that the header is one; decoding unpacks it in full.
      if (!for_decoding_) {
        if (!is_setup_header(packet)) vantrel_io::throw_io_data();
        return 1;
      }
      if (vorbis_synthesis_headerin(&info_, &comment_, &packet) < 0) vantrel_io::throw_io_data();
      if (!ready_) set_up_synthesis();
      return 1;
    }
    if (message == packet_control_get_sample_rate) return static_cast<std::uint32_t>(info_.rate);
    if (message == packet_control_current_packet) {
      current_ = ogg_packet_record(pointer, size);
      return 0;
    }
    return 0;
  }

  void get_info(track_info& out) override {
    out.set_tech_int("channels", info_.channels);
    out.set_tech_int("samplerate", info_.rate);
    if (info_.bitrate_nominal > 0) out.set_tech_int("bitrate_nominal", info_.bitrate_nominal / 1000);
    out.set_tech("codec", track_info::until_nul, "Vorbis", track_info::until_nul);
    out.set_tech("encoding", track_info::until_nul, "lossy", track_info::until_nul);
    if (comment_.vendor) out.set_tech("tool", track_info::until_nul, comment_.vendor, track_info::until_nul);
    comments_to_info(comments_, out);
  }

  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }

  void reset() override {
    if (ready_) vorbis_synthesis_restart(&dsp_);
  }

  void decode(const void*, std::uint32_t, audio_block& out, const abort_signal&) override {
    ogg_packet packet = current_;
    current_.packet = nullptr;
    if (!packet.packet) vantrel_io::throw_io_data();
    if (!ready_) set_up_synthesis();
    const int result = vorbis_synthesis(&block_, &packet);
    if (result == vorbis_not_audio) {
      vorbis_empty_block(out);
      return;
    }
    if (result < 0) vantrel_io::throw_io_data();
    vorbis_synthesis_blockin(&dsp_, &block_);
    vorbis_drain_into(dsp_, info_, buffer_, out);
  }

  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  void read_comment_header(const ogg_packet& packet) {
    vorbis_comment_packet header;
    // Only the text fields become track info: pictures are read elsewhere.
    if (packet.bytes < 0 ||
        !header.parse(packet.packet, static_cast<std::size_t>(packet.bytes),
                      vorbis_comment_packet::entry_choice::text_only))
      vantrel_io::throw_io_data();
    std::vector<std::uint8_t> slim = header.without_entries();
    ogg_packet stand_in = packet;
    stand_in.packet = slim.data();
    stand_in.bytes = static_cast<long>(slim.size());
    if (vorbis_synthesis_headerin(&info_, &comment_, &stand_in) < 0) vantrel_io::throw_io_data();
    comments_ = std::move(header.entries);
  }

  void set_up_synthesis() {
    tear_down_synthesis();
    if (vorbis_synthesis_init(&dsp_, &info_) != 0) {
      vorbis_dsp_clear(&dsp_);
      vantrel_io::throw_io_data();
    }
    vorbis_synthesis_restart(&dsp_);
    vorbis_block_init(&dsp_, &block_);
    ready_ = true;
  }

  void tear_down_synthesis() {
    if (!ready_) return;
    vorbis_block_clear(&block_);
    vorbis_dsp_clear(&dsp_);
    ready_ = false;
  }

  const bool for_decoding_;
  vorbis_info info_{};
  vorbis_comment comment_{};
  std::vector<std::string> comments_;
  vorbis_dsp_state dsp_{};
  vorbis_block block_{};
  bool ready_ = false;
  ogg_packet current_{};
  std::vector<float> buffer_;
};

class ogg_vorbis_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    if (owner != ogg_owner_guid || setup_size != ogg_packet_record_size || !setup) return false;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    ogg_packet packet = *static_cast<const ogg_packet*>(setup);
    const bool identification = vorbis_synthesis_headerin(&info, &comment, &packet) >= 0;
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return identification;
  }
  void open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    if (owner != ogg_owner_guid) vantrel_io::throw_io_data();
    out = new service_counted<ogg_vorbis_decoder>(ogg_packet_record(setup, setup_size), for_decoding);
  }
};

service_factory_single_t<ogg_vorbis_codec> ogg_vorbis_codec_registration;

}  // namespace
