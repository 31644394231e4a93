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
  // twice its rate.
  EXPECT_EQ(format_of({0x13, 0x88}, 44100), result(44100, 2));
  EXPECT_EQ(format_of({0x13, 0x88}, 22050), result(22050, 1));
  EXPECT_EQ(format_of({0x12, 0x10}, 88200), result(44100, 2)) << "a 44.1 kHz core is not HE-AAC";
  // Too short to say anything.
  EXPECT_EQ(format_of({0x12}, 44100), result(0, 0));
  EXPECT_EQ(format_of({}, 44100), result(0, 0));
}
