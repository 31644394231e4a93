// The MPEG and PCM packet codecs as containers find them: by owner and
// set-up, through the registry.
#include <gtest/gtest.h>

#include <string>

#include "core/service_registry.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/mpeg_packet_decoder.h"
#include "playback/decoders/packet_codec.h"
#include "playback/decoders/pcm_packet_decoder.h"

namespace {

class PacketCodecs : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // Referenced so that the linker keeps both codecs' registrations.
    (void)mpeg_preferred_backend(0);
    (void)pcm_resolved_format(16, 0);
    service_registry::table().build(service_factory::global_list_head);
  }
  static void TearDownTestSuite() { service_registry::table().clear(); }

  packet_decoder_ptr open(const GUID& owner, std::uint32_t param = 0, const char* codec_id = nullptr,
                          std::uint32_t rate = 44100, std::uint32_t channels = 2) {
    matroska_codec_setup setup{codec_id, rate, 0, channels, 0, nullptr};
    packet_decoder_ptr decoder;
    packet_codec::find_and_open(decoder, true, owner, param, codec_id ? &setup : nullptr, codec_id ? std::uint32_t(sizeof setup) : 0, abort);
    return decoder;
  }
  raisable_abort_signal abort;
};

TEST_F(PacketCodecs, MpegStreamsByOwnerAndSetup) {
  const struct {
    GUID owner;
    std::uint32_t param;
    const char* codec_id;
    const char* codec;  // null: no codec accepts the stream
    const char* why;
  } cases[] = {
      {mpeg_layer1_owner_guid, 0, nullptr, "MP1", "the MPEG input's layer I"},
      {mpeg_layer3_owner_guid, 0, nullptr, "MP3", "the MPEG input's layer III"},
      {matroska_owner_guid, 0, "A_MPEG/L2", "MP2", "a Matroska layer II track"},
      {mp4_owner_guid, 107, nullptr, "MP3", "MP4 object type 107"},
      {mp4_owner_guid, 106, nullptr, nullptr, "MP4 object type 106"},
      {matroska_owner_guid, 0, "A_MPEG/L3x", nullptr, "a codec id that only begins alike"},
      {matroska_owner_guid, 0, "a_mpeg/l3", nullptr, "codec ids match with case"},
  };
  for (const auto& c : cases) {
    if (!c.codec) {
      EXPECT_THROW(open(c.owner, c.param, c.codec_id), vantrel_io::exception_io_data) << c.why;
      continue;
    }
    packet_decoder_ptr decoder = open(c.owner, c.param, c.codec_id);
    track_info_impl info;
    decoder->get_info(info);
    EXPECT_STREQ(*info.tech_value_by_name("codec"), c.codec) << c.why;
    EXPECT_EQ(decoder->seek_preroll_packets(), 10u) << c.why;
  }
}

TEST_F(PacketCodecs, MpegDecodeNeedsRateAndChannels) {
  packet_decoder_ptr decoder = open(mpeg_layer3_owner_guid);
  const std::uint8_t frame[417] = {0xFF, 0xFB, 0x90, 0x64};
  audio_block block;
  EXPECT_THROW(decoder->decode(frame, sizeof frame, block, abort), vantrel_io::exception_io_data);
  EXPECT_EQ(mpeg_preferred_backend(0x501), mpeg_backend_kind::acm) << "Windows XP";
  EXPECT_EQ(mpeg_preferred_backend(0x600), mpeg_backend_kind::media_foundation) << "Vista";
}

TEST_F(PacketCodecs, PcmTracks) {
  const struct {
    const char* codec_id;
    std::uint32_t bits;
    std::string bytes;
    float first;
    const char* why;
  } cases[] = {
      {"A_PCM/INT/BIG", 24, std::string("\x40\x00\x00\xC0\x00\x00", 6), 0.5f, "24-bit big-endian, signed"},
      {"A_PCM/INT/LIT", 8, std::string("\xC0\x40", 2), 0.5f, "8-bit is unsigned"},
      {"A_PCM/INT/LIT", 16, std::string("\x00\xC0\x00\x40", 4), -0.5f, "16-bit little-endian, signed"},
  };
  for (const auto& c : cases) {
    packet_decoder_ptr decoder = open(matroska_owner_guid, 0, c.codec_id, 48000, 2);
    decoder->control(packet_control_set_bits_per_sample, c.bits, nullptr, 0);
    audio_block block;
    decoder->decode(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), block, abort);
    ASSERT_EQ(block.get_sample_count(), 1u) << c.why;
    EXPECT_EQ(block.get_data()[0], c.first) << c.why;
    EXPECT_EQ(block.get_sample_rate(), 48000u) << c.why;
    EXPECT_EQ(decoder->seek_preroll_packets(), 0u) << c.why;
  }
  packet_decoder_ptr twelve = open(matroska_owner_guid, 0, "A_PCM/INT/LIT");
  twelve->control(packet_control_set_bits_per_sample, 12, nullptr, 0);
  audio_block block;
  EXPECT_THROW(twelve->decode("\0\0\0", 3, block, abort), vantrel_io::exception_io_data) << "12 bits";

  packet_decoder_ptr flipped = open(matroska_owner_guid, 0, "A_PCM/INT/LIT", 48000, 1);
  flipped->control(packet_control_set_bits_per_sample, 16, nullptr, 0);
  flipped->control(packet_control_set_signed, 0, nullptr, 0);
  flipped->control(packet_control_set_little_endian, 0, nullptr, 0);
  flipped->decode("\xC0\x00", 2, block, abort);
  EXPECT_EQ(block.get_data()[0], 0.5f) << "unsigned big-endian when told so";
}

}  // namespace
