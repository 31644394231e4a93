// The Opus, Vorbis and FLAC codecs as the Ogg input finds them (by the first
// packet of a stream), and the Opus headers they read.
#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <memory>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_info.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/opus_packet_decoder.h"
#include "playback/decoders/packet_codec.h"
#include "playback/inputs/flac/ogg_flac_packet_decoder.h"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes opus_head_bytes(std::uint8_t version, std::uint8_t channels, std::uint8_t family, bytes tail = {},
                      std::int16_t gain = 0) {
  bytes head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', version, channels, 0x38, 0x01, 0x80, 0xBB, 0, 0};
  head.push_back(static_cast<std::uint8_t>(gain & 0xFF));
  head.push_back(static_cast<std::uint8_t>((gain >> 8) & 0xFF));
  head.push_back(family);
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

bytes opus_tags_bytes(const std::vector<std::string>& comments, std::uint32_t claimed_extra = 0) {
  bytes out = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put32(4);
  out.insert(out.end(), {'t', 'e', 's', 't'});
  put32(static_cast<std::uint32_t>(comments.size()));
  for (const auto& c : comments) {
    put32(static_cast<std::uint32_t>(c.size()) + claimed_extra);
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

ogg_packet record(bytes& data, std::int64_t number = 0) {
  ogg_packet packet{};
  packet.packet = data.data();
  packet.bytes = static_cast<long>(data.size());
  packet.b_o_s = number == 0;
  packet.packetno = number;
  return packet;
}

class OggPacketCodecs : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // Referenced so that the linker keeps the codecs' registrations.
    (void)opus_head_parse(nullptr, 0, *std::make_unique<opus_head>());
    (void)ogg_flac_is_first_packet(nullptr, 0);
    service_registry::table().build(service_factory::global_list_head);
  }
  static void TearDownTestSuite() { service_registry::table().clear(); }

  packet_decoder_ptr open(bytes& first) {
    ogg_packet packet = record(first);
    packet_decoder_ptr decoder;
    packet_codec::find_and_open(decoder, true, ogg_owner_guid, 0, &packet, sizeof packet, abort);
    return decoder;
  }
  raisable_abort_signal abort;
};

TEST(OpusHead, Parse) {
  const struct {
    bytes packet;
    bool valid;
    const char* why;
  } cases[] = {
      {opus_head_bytes(1, 2, 0), true, "plain stereo"},
      {opus_head_bytes(1, 2, 0, {0}), false, "version 1 with a trailing byte"},
      {opus_head_bytes(2, 2, 0, {0}), true, "version 2 may grow"},
      {opus_head_bytes(0x10, 2, 0), false, "an incompatible major version"},
      {opus_head_bytes(1, 0, 0), false, "no channels"},
      {opus_head_bytes(1, 3, 0), false, "family 0 carries at most two channels"},
      {opus_head_bytes(1, 2, 1, {1, 1, 0, 255}), true, "a silent channel (255)"},
      {opus_head_bytes(1, 2, 1, {1, 1, 0, 2}), false, "a mapping past the decoded channels"},
      {opus_head_bytes(1, 2, 1, {1, 2, 0, 1}), false, "more coupled than coded streams"},
      {opus_head_bytes(1, 2, 1, {1, 1, 0}), false, "a mapping table cut short"},
      {opus_head_bytes(1, 9, 1, {9, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}), true, "nine channels parse"},
  };
  for (const auto& c : cases) {
    opus_head head;
    EXPECT_EQ(opus_head_parse(c.packet.data(), static_cast<std::uint32_t>(c.packet.size()), head), c.valid) << c.why;
  }
}

TEST(OpusHead, FamilyOneComesOutInSystemOrderWithVorbisMasks) {
  bytes packet = opus_head_bytes(1, 6, 1, {4, 2, 0, 4, 1, 2, 3, 5});
  opus_head head;
  ASSERT_TRUE(opus_head_parse(packet.data(), static_cast<std::uint32_t>(packet.size()), head));
  std::uint8_t mapping[255] = {};
  opus_decoder_mapping(head, mapping);
  EXPECT_EQ(bytes(mapping, mapping + 6), (bytes{0, 1, 4, 5, 2, 3}));
  const struct {
    std::uint8_t channels;
    std::uint32_t mask;
  } masks[] = {{3, 0x7}, {5, 0x37}, {6, 0x3F}, {8, 0x63F}};
  for (const auto& m : masks) {
    head.channels = m.channels;
    EXPECT_EQ(opus_output_channel_mask(head), m.mask) << int(m.channels) << " channels: no centre taken for LFE";
  }
  head.mapping_family = 0;
  head.channels = 2;
  EXPECT_EQ(opus_output_channel_mask(head), 0x3u);
}

TEST(OpusTags, CommentsAndGains) {
  const struct {
    std::vector<std::string> comments;
    std::int16_t output_gain;
    float album_gain, track_gain;
    const char* field;
    const char* value;
  } cases[] = {
      {{"r128_track_gain=-512"}, 256, 6.0f, 4.0f, nullptr, nullptr},
      {{"R128_TRACK_GAIN= +256x"}, 0, 5.0f, 6.0f, nullptr, nullptr},
      // Other taggers leave the output gain at 0 and give both gains.
      {{"R128_TRACK_GAIN=-2304", "R128_ALBUM_GAIN=-2560"}, 0, -5.0f, -4.0f, nullptr, nullptr},
      {{"R128_ALBUM_GAIN=-512", "R128_TRACK_GAIN=256"}, 256, 4.0f, 7.0f, nullptr, nullptr},
      {{"R128_ALBUM_GAIN=-512", "A=1"}, 256, 4.0f, -1000.0f, "A", "1"},
      {{"ALBUMARTIST=x", "TITLE=t"}, 0, -1000.0f, -1000.0f, "ALBUM ARTIST", "x"},
      {{"ORGANIZATION=label"}, 0, -1000.0f, -1000.0f, "PUBLISHER", "label"},
      {{"=orphan", "no equals", "METADATA_BLOCK_PICTURE=AAAA", "A=1"}, 0, -1000.0f, -1000.0f, "A", "1"},
  };
  for (const auto& c : cases) {
    bytes packet = opus_tags_bytes(c.comments);
    track_info_impl info;
    opus_tags_parse(packet.data(), static_cast<std::uint32_t>(packet.size()), c.output_gain, info);
    EXPECT_FLOAT_EQ(info.get_replaygain().album_gain, c.album_gain) << c.comments[0];
    EXPECT_FLOAT_EQ(info.get_replaygain().track_gain, c.track_gain) << c.comments[0];
    if (c.field) {
      EXPECT_STREQ(info.value(c.field, 0), c.value) << c.comments[0];
      EXPECT_EQ(info.field_count(), c.field == std::string("ALBUM ARTIST") ? 2u : 1u) << c.comments[0];
    }
    EXPECT_STREQ(*info.tech_value_by_name("tool"), "test");
  }
}

TEST(OpusTags, LengthsPastThePacketAreDataErrors) {
  const bytes cases[] = {opus_tags_bytes({"TITLE=x"}, 1), opus_tags_bytes({"TITLE=x"}, 0x7FFFFFFF),
                         bytes{'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}};
  for (const auto& packet : cases) {
    track_info_impl info;
    EXPECT_THROW(opus_tags_parse(packet.data(), static_cast<std::uint32_t>(packet.size()), 0, info),
                 vantrel_io::exception_io_data);
  }
}

TEST_F(OggPacketCodecs, FirstPacketChoosesTheCodec) {
  bytes flac = {0x7F, 'F', 'L', 'A', 'C', 1, 0, 0, 1, 'f', 'L', 'a', 'C'};
  bytes flac_short(flac.begin(), flac.end() - 1);
  bytes flac_v2 = flac;
  flac_v2[5] = 2;
  bytes nine_channels = opus_head_bytes(1, 9, 1, {9, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
  bytes garbage = {1, 2, 3, 4};
  const struct {
    bytes* packet;
    bool opens;
    const char* why;
  } cases[] = {
      {&flac, true, "Ogg FLAC mapping 1.0"},
      {&flac_short, false, "a 12-byte FLAC first packet"},
      {&flac_v2, false, "Ogg FLAC mapping version 2"},
      {&nine_channels, false, "nine Opus channels parse but cannot be played"},
      {&garbage, false, "no codec's first packet"},
  };
  for (const auto& c : cases) {
    if (c.opens) {
      EXPECT_NO_THROW(open(*c.packet)) << c.why;
    } else {
      EXPECT_THROW(open(*c.packet), vantrel_io::exception_io_data) << c.why;
    }
  }
}

TEST_F(OggPacketCodecs, OpusHeaderSequence) {
  bytes head = opus_head_bytes(1, 2, 0, {}, -256);
  packet_decoder_ptr decoder = open(head);
  EXPECT_EQ(decoder->control(packet_control_get_sample_rate, 0, nullptr, 0), 48000u);
  EXPECT_EQ(decoder->control(packet_control_get_start_skip, 0, nullptr, 0), 312u);
  bytes tags = opus_tags_bytes({"TITLE=x"});
  ogg_packet third = record(tags, 2);
  EXPECT_THROW(decoder->control(packet_control_next_header, 0, &third, sizeof third), vantrel_io::exception_io_data);
  ogg_packet comments = record(tags, 1);
  EXPECT_EQ(decoder->control(packet_control_next_header, 0, &comments, sizeof comments), 1u);
  track_info_impl info;
  decoder->get_info(info);
  EXPECT_FLOAT_EQ(info.get_replaygain().album_gain, 4.0f) << "output gain -1 dB without R128 tags";
  EXPECT_FLOAT_EQ(info.get_replaygain().track_gain, 4.0f);
  audio_block block;
  block.set_data(nullptr, 10, 2, 48000, 3);
  decoder->decode(nullptr, 0, block, abort);
  EXPECT_EQ(block.get_sample_count(), 0u) << "an empty packet gives an empty block";
  EXPECT_EQ(decoder->control(packet_control_set_sample_rate, 1, nullptr, 0), 0u) << "unhandled controls answer 0";
}

TEST_F(OggPacketCodecs, OpusCommentsHeldWithoutTheirCoverReadAsTheWholePacket) {
  bytes head = opus_head_bytes(1, 2, 0, {}, 256);
  const std::string cover = "METADATA_BLOCK_PICTURE=" + std::string(60000, 'A');
  const std::vector<std::vector<std::string>> comment_sets = {
      {"TITLE=t", cover, "ARTIST=a", "R128_TRACK_GAIN=-512"}, {cover}, {cover, cover, "TITLE=t"}};
  for (const auto& comments : comment_sets) {
    bytes tags = opus_tags_bytes(comments);
    tags.push_back(0x01);  // bytes past the entries, which the comment format allows
    track_info_impl whole, held;
    opus_tags_parse(tags.data(), static_cast<std::uint32_t>(tags.size()), 256, whole);
    packet_decoder_ptr decoder = open(head);
    ogg_packet packet = record(tags, 1);
    ASSERT_EQ(decoder->control(packet_control_next_header, 0, &packet, sizeof packet), 1u);
    tags.assign(tags.size(), 0);  // the decoder keeps its own copy
    decoder->get_info(held);
    ASSERT_EQ(held.field_count(), whole.field_count()) << comments.size();
    for (std::uint32_t i = 0; i < whole.field_count(); ++i)
      EXPECT_STREQ(held.value(whole.field_name(i), 0), whole.value(whole.field_name(i), 0));
    // Without R128 comments the decoder takes its gains from the header.
    if (replaygain_info::gain_present(whole.get_replaygain().track_gain)) {
      EXPECT_FLOAT_EQ(held.get_replaygain().track_gain, whole.get_replaygain().track_gain);
    }
  }
  // A packet whose lengths overstate what it holds has no tags, as before.
  bytes broken = opus_tags_bytes({"TITLE=t", cover}, 1);
  packet_decoder_ptr decoder = open(head);
  ogg_packet packet = record(broken, 1);
  decoder->control(packet_control_next_header, 0, &packet, sizeof packet);
  track_info_impl info;
  decoder->get_info(info);
  EXPECT_EQ(info.field_count(), 0u);
}

TEST_F(OggPacketCodecs, OggFlacHeaderCompletesOnTheLastBlock) {
  bytes first = {0x7F, 'F', 'L', 'A', 'C', 1, 0, 0, 1, 'f', 'L', 'a', 'C', 0x00, 0, 0, 34,
                 0x10, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0x0A, 0xC4, 0x40, 0xF0, 0, 0, 0, 0};
  first.resize(first.size() + 16);
  packet_decoder_ptr decoder = open(first);
  audio_block block;
  EXPECT_THROW(decoder->decode("x", 1, block, abort), vantrel_io::exception_io_data) << "decode before the header";
  EXPECT_THROW(decoder->control(packet_control_get_sample_rate, 0, nullptr, 0), vantrel_io::exception_io_data);
  bytes comment = {0x84, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
  ogg_packet packet = record(comment, 1);
  EXPECT_EQ(decoder->control(packet_control_next_header, 0, &packet, sizeof packet), 1u);
  EXPECT_EQ(decoder->control(packet_control_get_sample_rate, 0, nullptr, 0), 44100u);
  EXPECT_THROW(decoder->control(packet_control_next_header, 0, &packet, sizeof packet), vantrel_io::exception_io_data)
      << "a header packet after the header is complete";
}

}  // namespace
