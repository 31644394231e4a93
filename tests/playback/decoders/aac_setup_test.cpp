// The AAC configuration built from Matroska codec ids and track records.
#include <gtest/gtest.h>

#include "io/io_exceptions.h"
#include "playback/decoders/aac_setup.h"

namespace {

std::vector<std::uint8_t> setup_of(const char* id, std::uint32_t rate, std::uint32_t output_rate,
                                   std::uint32_t channels, const std::vector<std::uint8_t>& codec_private = {}) {
  const matroska_codec_setup record{id, rate, output_rate, channels,
                                    static_cast<std::uint32_t>(codec_private.size()),
                                    codec_private.empty() ? nullptr : codec_private.data()};
  return aac_setup_from_matroska(record);
}

}  // namespace

TEST(AacSetup, ProfilesFromCodecIds) {
  using bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(setup_of("A_AAC/MPEG4/LC", 44100, 0, 2), (bytes{0x12, 0x10}));
  EXPECT_EQ(setup_of("A_AAC/MPEG2/MAIN", 48000, 0, 6), (bytes{0x09, 0xB0}));
  // "/SBR" is looked for before "/LC": the SBR form wins.
  EXPECT_EQ(setup_of("A_AAC/MPEG4/LC/SBR", 24000, 48000, 2), (bytes{0x13, 0x10, 0x56, 0xE5, 0x98}));
  // Without an output rate SBR doubles the core rate.
  EXPECT_EQ(setup_of("A_AAC/MPEG4/LC/SBR", 22050, 0, 1), (bytes{0x13, 0x88, 0x56, 0xE5, 0xA0}));
  // 7.1 is configuration 7.
  EXPECT_EQ(setup_of("A_AAC/MPEG4/LC", 48000, 0, 8), (bytes{0x11, 0xB8}));
  EXPECT_EQ(setup_of("A_AAC", 44100, 0, 2, {0x12, 0x10, 0x56}), (bytes{0x12, 0x10, 0x56}));
}

TEST(AacSetup, RefusesWhatCannotBeDescribed) {
  EXPECT_THROW(setup_of("A_AAC/MPEG4/XYZ", 44100, 0, 2), vantrel_io::exception_io_data);
  EXPECT_THROW(setup_of("A_AAC/MPEG4/LC", 44100, 0, 9), vantrel_io::exception_io_data);
  EXPECT_THROW(setup_of("A_AAC/MPEG4/LC", 44100, 0, 0), vantrel_io::exception_io_data);
  // "A_AAC" carries its configuration: without one there is nothing to decode.
  EXPECT_THROW(setup_of("A_AAC", 44100, 0, 2), vantrel_io::exception_io_data);
  EXPECT_THROW(setup_of("A_AACX", 44100, 0, 2), vantrel_io::exception_io_data);
  EXPECT_TRUE(is_matroska_aac_codec_id("A_AAC/MPEG2/LC"));
  EXPECT_FALSE(is_matroska_aac_codec_id("A_AAC2"));
  EXPECT_FALSE(is_matroska_aac_codec_id(nullptr));
}

TEST(AacSetup, SamplingFrequencyIndexRoundsToTheNearestEntry) {
  EXPECT_EQ(aac_sampling_frequency_index(96000), 0u);
  EXPECT_EQ(aac_sampling_frequency_index(44100), 4u);
  EXPECT_EQ(aac_sampling_frequency_index(46008), 4u);
  EXPECT_EQ(aac_sampling_frequency_index(46009), 3u);
  EXPECT_EQ(aac_sampling_frequency_index(8000), 11u);
}

TEST(AacOutputFormat, ConfigurationGivesRateAndChannels) {
  auto format_of = [](std::vector<std::uint8_t> config, std::uint32_t container_rate) {
    const aac_output_format f = aac_output_format_of(config.data(), config.size(), container_rate);
    return std::make_pair(f.sample_rate, f.channels);
  };
  using result = std::pair<std::uint32_t, std::uint32_t>;
  // Mono LC at 22050 with SBR declared absent, in an entry that says stereo.
  EXPECT_EQ(format_of({0x13, 0x88, 0x56, 0xE5, 0x00}, 22050), result(22050, 1));
  EXPECT_EQ(format_of({0x13, 0x88, 0x56, 0xE5, 0x00}, 44100), result(22050, 1)) << "declared absent";
  // The sync extension with SBR present at 44100; 7.1 is eight channels.
  EXPECT_EQ(format_of({0x13, 0x90, 0x56, 0xE5, 0xA0}, 22050), result(44100, 2));
  EXPECT_EQ(format_of({0x11, 0xB8}, 48000), result(48000, 8));
  // Object types 5 and 29: SBR over a 22050 core at 44100 (index 4); mono
  // under SBR is stereo, for parametric stereo.
  EXPECT_EQ(format_of({0x2B, 0x8A, 0x08, 0x00}, 22050), result(44100, 2));
  EXPECT_EQ(format_of({0xEB, 0x8A, 0x08, 0x00}, 22050), result(44100, 2));
  // Implicit SBR: a bare LC core of at most 24 kHz in a track declared at
  // twice its rate. Nothing promises parametric stereo there: mono stays mono.
  EXPECT_EQ(format_of({0x13, 0x88}, 44100), result(44100, 1));
  // The sync extension may rule parametric stereo out (0x548, flag 0) or in.
  EXPECT_EQ(format_of({0x13, 0x88, 0x56, 0xE5, 0xA5, 0x48, 0x00}, 22050), result(44100, 1));
  EXPECT_EQ(format_of({0x13, 0x88, 0x56, 0xE5, 0xA5, 0x48, 0x80}, 22050), result(44100, 2));
  EXPECT_EQ(format_of({0x13, 0x88}, 22050), result(22050, 1));
  EXPECT_EQ(format_of({0x12, 0x10}, 88200), result(44100, 2)) << "a 44.1 kHz core is not HE-AAC";
  // Too short to say anything.
  EXPECT_EQ(format_of({0x12}, 44100), result(0, 0));
  EXPECT_EQ(format_of({}, 44100), result(0, 0));
}

// The speakers of the decoded channels, in the order of the mask's bits:
// AAC's channel configurations put the centre first, a program config
// element names its own layout.
TEST(AacOutputFormat, ChannelsComeWithTheirSpeakers) {
  auto mask_of = [](std::vector<std::uint8_t> config) {
    const aac_output_format f = aac_output_format_of(config.data(), config.size(), 48000);
    return std::make_pair(f.channels, f.channel_mask);
  };
  using result = std::pair<std::uint32_t, std::uint32_t>;
  EXPECT_EQ(mask_of({0x11, 0x98, 0x56, 0xE5, 0x00}), result(3, 0x7)) << "centre, left, right";
  EXPECT_EQ(mask_of({0x11, 0xA0}), result(4, 0x107)) << "with a back centre";
  EXPECT_EQ(mask_of({0x11, 0xA8}), result(5, 0x37));
  EXPECT_EQ(mask_of({0x11, 0xB8}), result(8, 0x63F));
  EXPECT_EQ(mask_of({0x13, 0x88, 0x56, 0xE5, 0xA0}), result(2, 0x3)) << "mono under SBR, as stereo";
  // Program config elements as ffmpeg writes them: a front pair with low
  // frequency (2.1); centre, pair, side pair and back pair (7.0); and 6.1,
  // whose low frequency channel is a lone side channel no mask names.
  EXPECT_EQ(mask_of({0x11, 0x80, 0x04, 0xC4, 0x01, 0x00, 0x20, 0x00, 0x00, 0x56, 0xE5, 0x00}), result(3, 0xB));
  EXPECT_EQ(mask_of({0x11, 0x80, 0x04, 0xC8, 0x44, 0x00, 0x20, 0x08, 0xC8, 0x00}), result(7, 0x637));
  EXPECT_EQ(mask_of({0x11, 0x80, 0x04, 0xC8, 0x48, 0x00, 0x20, 0x00, 0xC4, 0x40, 0x00}), result(7, 0u));
  EXPECT_EQ(mask_of({0x11, 0x80, 0x04, 0xC8, 0x48}), result(0, 0u)) << "a program config element cut short";
  EXPECT_EQ(aac_default_channel_mask(3), 0x7u);
  EXPECT_EQ(aac_default_channel_mask(7), 0u) << "no configuration has seven channels";
}
