// How the Vorbis and Opus comment headers are rebuilt when an Ogg file is
// retagged. Both keep their comments in the second header packet; Opus also
// keeps the album gain in its first packet as the output gain, and the track
// gain as an R128 comment relative to it.
#include <vorbis/codec.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_info.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "metadata/track_info.h"
#include "playback/decoders/opus_packet_decoder.h"
#include "playback/decoders/r128_gain.h"

namespace {

constexpr std::uint32_t comment_packet_index = 1;
constexpr std::uint32_t opus_gain_offset = 16;

// The first packet goes alone on the first page; the comment packet is the
// second and, for both codecs, the last one whose contents change.
class numbered_handler : public ogg_comment_handler {
public:
  unsigned feed_header(const void*, std::uint32_t) override {
    const std::uint32_t index = fed_++;
    if (index == 0) return flush_after_packet;
    return index == comment_packet_index ? is_comment_packet | headers_complete : 0;
  }

private:
  std::uint32_t fed_ = 0;
};

class vorbis_comment_handler : public numbered_handler {
public:
  void comment_layout(const void*& prefix, std::uint32_t& size, bool& framing) override {
    prefix = "\x03vorbis";
    size = 7;
    framing = true;
  }
};

std::int16_t q8_gain(double db) {
  const double value = std::floor(db * 256.0 + 0.5);
  if (value < -32768.0 || value > 32767.0) throw qiv::exception_overflow();
  return static_cast<std::int16_t>(value);
}

class opus_comment_handler : public numbered_handler {
public:
  void comment_layout(const void*& prefix, std::uint32_t& size, bool& framing) override {
    prefix = "OpusTags";
    size = 8;
    framing = false;
  }

  void prepare_header(std::uint32_t index, qiv::array<std::uint8_t>& packet, const track_info& info,
                      tag_field_map::entries& comment_changes) override {
    const replaygain_info gains = info.get_replaygain();
    const bool album = replaygain_info::gain_present(gains.album_gain);
    const bool track = replaygain_info::gain_present(gains.track_gain);
    if (index == 0) {
      if (packet.get_count() < 18 || std::memcmp(packet.data(), "OpusHead", 8) != 0 || (packet.data()[8] & 0xF0)) {
        vantrel_io::throw_io_data();
      }
      const std::int16_t gain =
          album ? q8_gain(gains.album_gain - r128_to_replaygain_db)
                : track ? q8_gain(gains.track_gain - r128_to_replaygain_db) : std::int16_t{0};
      packet.data()[opus_gain_offset] = static_cast<std::uint8_t>(gain & 0xFF);
      packet.data()[opus_gain_offset + 1] = static_cast<std::uint8_t>((gain >> 8) & 0xFF);
    } else if (index == comment_packet_index) {
      // The gains travel in the first packet and this comment, never as
      // ReplayGain comments (any there go, as they would now misstate the
      // gains); an album gain comment would now count from the new output
      // gain.
      for (const replaygain_field& field : replaygain_fields) comment_changes[field.name].clear();
      tag_field_map::values& track_comment = comment_changes["R128_TRACK_GAIN"];
      track_comment.clear();
      if (album || track) {
        const double difference = album && track ? gains.track_gain - gains.album_gain : 0.0;
        track_comment.push_back(std::to_string(static_cast<long>(std::floor(difference * 256.0 + 0.5))));
      }
      comment_changes["R128_ALBUM_GAIN"].clear();
    }
  }
};

class vorbis_comment_codec : public ogg_comment_codec {
public:
  bool accepts(const void* packet, std::uint32_t size) override {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    ogg_packet first{};
    first.packet = static_cast<unsigned char*>(const_cast<void*>(packet));
    first.bytes = static_cast<long>(size);
    first.b_o_s = 1;
    const bool ours = packet && vorbis_synthesis_headerin(&info, &comment, &first) == 0;
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ours;
  }
  void create(service_ptr<ogg_comment_handler>& out) override { out = new service_counted<vorbis_comment_handler>(); }
};

class opus_comment_codec : public ogg_comment_codec {
public:
  bool accepts(const void* packet, std::uint32_t size) override {
    opus_head head;
    return opus_head_parse(packet, size, head);
  }
  void create(service_ptr<ogg_comment_handler>& out) override { out = new service_counted<opus_comment_handler>(); }
};

service_factory_single_t<vorbis_comment_codec> vorbis_comment_codec_registration;
service_factory_single_t<opus_comment_codec> opus_comment_codec_registration;

}  // namespace
