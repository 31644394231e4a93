// FLAC in Ogg: the first packet carries the native stream header, each
// further header packet one metadata block, each audio packet one frame.
// The packets reach an unseekable stream decoder through a memory file.
#include "playback/inputs/flac/ogg_flac_packet_decoder.h"

#include <ogg/ogg.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/service_factory.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/ogg_packet_record.h"
#include "playback/decoders/packet_codec.h"
#include "playback/inputs/flac/flac_block_header.h"
#include "playback/inputs/flac/flac_packet_feeding.h"
#include "playback/inputs/flac/flac_stream_decoder.h"

namespace {

class ogg_flac_packet_decoder : public packet_decoder {
public:
  explicit ogg_flac_packet_decoder(const ogg_packet& first)
      : header_(first.packet + ogg_flac_header_offset, first.packet + first.bytes) {}

  std::uint32_t control(const GUID& message, std::uint32_t value, void* pointer, std::uint32_t size) override {
    if (message == packet_control_next_header) {
      const ogg_packet& packet = ogg_packet_record(pointer, size);
      if (decoder_) vantrel_io::throw_io_data();
      header_.insert(header_.end(), packet.packet, packet.packet + packet.bytes);
      if (packet.bytes > 0 && (packet.packet[0] & 0x80) != 0) {
        open_stream();
        return 1;
      }
      return 0;
    }
    if (message == packet_control_get_sample_rate) return opened().get_sample_rate();
    if (message == packet_control_set_flag) {
      integrity_check_ = value != 0;
      if (decoder_) decoder_->set_integrity_check(integrity_check_);
      return 0;
    }
    if (message == packet_control_set_receiver) {
      sink_ = pointer ? new service_counted<flac_sink_to_receiver>(static_cast<stream_receiver*>(pointer)) : nullptr;
      if (decoder_) decoder_->set_message_sink(sink_.get());
      return 0;
    }
    return 0;
  }

  void get_info(track_info& out) override {
    opened();
    out.copy_all_from(stream_info_);
  }

  std::uint32_t seek_preroll_packets() override { return 0; }
  double seek_preroll_seconds() override { return 0.0; }
  void reset() override {
    if (decoder_) open_stream();
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    opened();
    flac_decode_packet(*decoder_, *file_, data, size, out, abort);
  }

  bool wants_first_frame() override { return false; }
  void set_first_frame(const void*, std::uint32_t, const abort_signal&) override {}

private:
  flac_stream_decoder& opened() {
    if (!decoder_) vantrel_io::throw_io_data();
    return *decoder_;
  }

  void open_stream() {
    const abort_signal& never_raised = never_raised_abort_signal();
    auto decoder = std::make_unique<flac_stream_decoder>(false);
    decoder->set_message_sink(sink_.get());
    decoder->set_integrity_check(integrity_check_);
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    file->write(header_.data(), static_cast<std::uint32_t>(header_.size()), never_raised);
    file->seek(0, never_raised);
    stream_info_.reset();
    decoder->open(file, stream_info_, never_raised);
    file_ = std::move(file);
    decoder_ = std::move(decoder);
  }

  std::vector<std::uint8_t> header_;
  std::unique_ptr<flac_stream_decoder> decoder_;
  vantrel_io::file_ptr file_;
  track_info_impl stream_info_;
  service_ptr<decoder_message_sink> sink_;
  bool integrity_check_ = false;
};

class ogg_flac_codec : public packet_codec {
public:
  bool accepts(const GUID& owner, std::uint32_t, const void* setup, std::uint32_t setup_size) override {
    if (owner != ogg_owner_guid || setup_size != ogg_packet_record_size || !setup) return false;
    const auto& packet = *static_cast<const ogg_packet*>(setup);
    return ogg_flac_is_first_packet(packet.packet, static_cast<std::uint32_t>(packet.bytes));
  }
  void open(packet_decoder_ptr& out, bool, const GUID& owner, std::uint32_t, const void* setup,
            std::uint32_t setup_size, const abort_signal&) override {
    if (owner != ogg_owner_guid) vantrel_io::throw_io_data();
    const ogg_packet& first = ogg_packet_record(setup, setup_size);
    if (!ogg_flac_is_first_packet(first.packet, static_cast<std::uint32_t>(first.bytes))) vantrel_io::throw_io_data();
    out = new service_counted<ogg_flac_packet_decoder>(first);
  }
};

service_factory_single_t<ogg_flac_codec> ogg_flac_codec_registration;

constexpr std::uint8_t comment_block_type = 4;

// Retagging: the comment is a metadata block of its own, whose header
// records the body's length; it is rewritten without padding.
class ogg_flac_comment_handler : public ogg_comment_handler {
public:
  unsigned feed_header(const void* packet, std::uint32_t size) override {
    if (size < flac_block_header_size) vantrel_io::throw_io_data();
    const std::uint8_t first = *static_cast<const std::uint8_t*>(packet);
    if (first == 0x7F) return flush_after_packet;
    unsigned flags = (first & flac_last_block_flag) ? headers_complete | flush_after_packet : 0;
    if ((first & 0x7F) == comment_block_type) {
      std::memcpy(block_header_, packet, flac_block_header_size);
      flags |= is_comment_packet;
    }
    return flags;
  }
  void comment_layout(const void*& prefix, std::uint32_t& size, bool& framing) override {
    prefix = block_header_;
    size = flac_block_header_size;
    framing = false;
  }
  void finish_comment(qiv::array<std::uint8_t>& packet, std::uint32_t unpadded_size) override {
    packet.set_size(unpadded_size);
    const std::uint32_t body = unpadded_size - flac_block_header_size;
    if (body > 0xFFFFFF) vantrel_io::throw_io_data();
    packet.data()[1] = static_cast<std::uint8_t>(body >> 16);
    packet.data()[2] = static_cast<std::uint8_t>(body >> 8);
    packet.data()[3] = static_cast<std::uint8_t>(body);
  }

private:
  std::uint8_t block_header_[flac_block_header_size] = {};
};

class ogg_flac_comment_codec : public ogg_comment_codec {
public:
  bool accepts(const void* packet, std::uint32_t size) override { return ogg_flac_is_first_packet(packet, size); }
  void create(service_ptr<ogg_comment_handler>& out) override {
    out = new service_counted<ogg_flac_comment_handler>();
  }
};

service_factory_single_t<ogg_flac_comment_codec> ogg_flac_comment_codec_registration;

}  // namespace

bool ogg_flac_is_first_packet(const void* packet, std::uint32_t size) {
  return packet && size >= ogg_flac_first_packet_min_size && std::memcmp(packet, "\x7F" "FLAC\x01", 6) == 0;
}
