#include "playback/audio_block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "io/io_exceptions.h"
#include "playback/channel_mask.h"

namespace {

std::vector<float> samples_of(const audio_block& block) {
  return std::vector<float>(block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels());
}

TEST(AudioBlock, IntegerFillsGiveExactFloats) {
  const struct {
    std::vector<std::uint8_t> bytes;
    unsigned bits;
    std::uint32_t flags;
    std::vector<float> expected;
  } cases[] = {
      {{0x80, 0x00, 0xFF}, 8, pcm_unsigned, {0.0f, -1.0f, 0.9921875f}},
      {{0x80, 0x7F}, 8, pcm_signed, {-1.0f, 127.0f / 128}},
      {{0x00, 0x80, 0xFF, 0x7F}, 16, pcm_signed, {-1.0f, 0.999969482421875f}},
      {{0x80, 0x00, 0x7F, 0xFF}, 16, pcm_signed | pcm_big_endian, {-1.0f, 0.999969482421875f}},
      {{0x00, 0x80, 0x00, 0x00}, 16, pcm_unsigned, {0.0f, -1.0f}},
      {{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, 24, pcm_signed, {-1.0f, 8388607.0f / 8388608}},
      {{0x80, 0x00, 0x00}, 24, pcm_signed | pcm_big_endian, {-1.0f}},
      {{0x00, 0x00, 0x80}, 24, pcm_unsigned, {0.0f}},
      {{0x00, 0x00, 0x00, 0x80}, 32, pcm_signed, {-1.0f}},
      {{0x00, 0x00, 0x00, 0x80}, 32, pcm_unsigned, {0.0f}},
      {{0x40, 0x00, 0x00, 0x00}, 32, pcm_signed | pcm_big_endian, {0.5f}},
      {{0x12, 0x34, 0x56, 0x78}, 20, pcm_signed, {0.0f, 0.0f}},  // no 20-bit reader: byte count / 2 silent floats
  };
  for (const auto& c : cases) {
    audio_block block;
    block.set_data_int_ex(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), c.bits, 44100, 1, c.flags, 0x4);
    EXPECT_EQ(samples_of(block), c.expected) << c.bits << " bits, flags " << c.flags;
    EXPECT_EQ(block.get_sample_rate(), 44100u);
  }
}

TEST(AudioBlock, TwentyFourBitInputConvertsAlikeAtEveryAlignment) {
  std::vector<std::uint8_t> bytes(3 * 37);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 73 + 11);
  std::vector<float> reference;
  for (std::size_t i = 0; i < 37; ++i) {
    std::int32_t v = bytes[3 * i] | bytes[3 * i + 1] << 8 | bytes[3 * i + 2] << 16;
    if (v & 0x800000) v -= 0x1000000;
    reference.push_back(static_cast<float>(v) / 8388608);
  }
  for (std::size_t offset = 0; offset < 4; ++offset) {
    std::vector<std::uint8_t> shifted(offset + bytes.size());
    std::memcpy(shifted.data() + offset, bytes.data(), bytes.size());
    audio_block block;
    block.set_data_int(shifted.data() + offset, static_cast<std::uint32_t>(bytes.size()), 24, 48000, 1, 0x4);
    EXPECT_EQ(samples_of(block), reference) << "offset " << offset;
  }
}

TEST(AudioBlock, FloatFillsIncludingStandardHalfPrecision) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    std::vector<std::uint8_t> bytes;
    unsigned bits;
    std::vector<float> expected;
  } cases[] = {
      // Half floats play at their own level: 0 is 0, 1.0 is full scale.
      {{0x00, 0x00, 0x00, 0x3C, 0x00, 0xC0, 0x00, 0x80}, 16, {0.0f, 1.0f, -2.0f, -0.0f}},
      {{0x01, 0x00, 0x00, 0x7C, 0x00, 0xFC}, 16, {std::ldexp(1.0f, -24), inf, -inf}},
      {{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xBF}, 32, {1.0f, -0.5f}},
      {{0x00, 0x80, 0x3F}, 24, {1.0f}},
      {{0, 0, 0, 0, 0, 0, 0xE0, 0x3F}, 64, {0.5f}},
  };
  for (const auto& c : cases) {
    audio_block block;
    block.set_data_float(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), c.bits, 48000, 1, 0x4);
    EXPECT_EQ(samples_of(block), c.expected) << c.bits << " bits";
  }
  audio_block nan_block;
  const std::uint8_t half_nan[] = {0x01, 0x7E};
  nan_block.set_data_float(half_nan, 2, 16, 48000, 1, 0x4);
  EXPECT_TRUE(std::isnan(nan_block.get_data()[0]));
}

TEST(AudioBlock, FillersRefuseWhatTheyCannotRead) {
  const std::uint8_t bytes[8] = {};
  audio_block block;
  EXPECT_THROW(block.set_data_int(bytes, 8, 4, 44100, 2, 0x3), vantrel_io::exception_io_data) << "under 8 bits";
  EXPECT_THROW(block.set_data_int(bytes, 8, 16, 44100, 0, 0x0), vantrel_io::exception_io_data) << "no channels";
  EXPECT_THROW(block.set_data_float(bytes, 8, 0, 44100, 1, 0x4), vantrel_io::exception_io_data) << "no bits";
  try {
    block.set_data_float(bytes, 8, 8, 44100, 1, 0x4);
    ADD_FAILURE() << "8-bit float accepted";
  } catch (const vantrel_io::exception_io_data& e) {
    EXPECT_STREQ(e.what(), "invalid bit depth");
  }
}

TEST(AudioBlock, Validity) {
  const struct {
    std::uint32_t channels, rate, frames;
    bool valid;
  } cases[] = {
      {2, 44100, 10, true},   {257, 44100, 10, false}, {1, 999, 10, false},     {1, 2822401, 10, false},
      {1, 2822400, 10, true}, {2, 44100, 0, false},    {0, 44100, 10, false},
  };
  for (const auto& c : cases) {
    audio_block block;
    block.set_data(nullptr, c.frames, c.channels, c.rate, 0);
    EXPECT_EQ(block.is_valid(), c.valid) << c.channels << " ch, " << c.rate << " Hz, " << c.frames << " frames";
  }
  audio_block short_data;
  short_data.set_data(nullptr, 10, 2, 44100, 0x3);
  short_data.set_data_size(19);
  EXPECT_FALSE(short_data.is_valid()) << "frames without data";
}

TEST(AudioBlock, DroppingLeadingFramesKeepsTheRest) {
  const float samples[] = {1, 2, 3, 4, 5, 6};
  audio_block block;
  block.set_data(samples, 3, 2, 44100, 0x3);
  EXPECT_EQ(block.drop_leading_samples(1), 1u);
  EXPECT_EQ(samples_of(block), (std::vector<float>{3, 4, 5, 6}));
  EXPECT_EQ(block.drop_leading_samples(2), 2u) << "all that is left";
  EXPECT_EQ(block.get_sample_count(), 0u);
  EXPECT_EQ(block.get_data_size(), 0u);
}

TEST(AudioBlock, DurationsOfBlocksAndLists) {
  audio_block_list list;
  EXPECT_EQ(list.total_duration(), 0.0);
  list.insert_new(0).set_data(nullptr, 4410, 1, 44100, 0x4);
  EXPECT_DOUBLE_EQ(list.get(0).duration_seconds(), 0.1);
  list.insert_new(0).set_data(nullptr, 10, 1, 0, 0x4);  // no rate: no duration
  list.insert_new(2).set_data(nullptr, 24000, 2, 48000, 0x3);
  EXPECT_DOUBLE_EQ(list.total_duration(), 0.6);
  EXPECT_EQ(list.get(0).get_sample_rate(), 0u) << "inserted at the front";
  list.remove_if([](const audio_block& b) { return b.duration_seconds() == 0.0; });
  EXPECT_EQ(list.get_count(), 2u);
}

TEST(AudioBlock, IntegerOutputRoundsTheContainerUpToBytes) {
  const float samples[] = {1.0f, -1.0f};
  audio_block block;
  block.set_data(samples, 1, 2, 48000, 0x3);
  qiv::byte_array out;
  ASSERT_TRUE(block.to_int_pcm(out, 20, 20, true));  // 20-bit container takes three bytes, justified to 24
  ASSERT_EQ(out.get_count(), 6u);
  EXPECT_EQ(out[0] | out[1] << 8 | out[2] << 16, 0x7FFFF0);
  EXPECT_FALSE(block.to_int_pcm(out, 16, 17, false));
  EXPECT_EQ(out.get_count(), 6u) << "buffer untouched on refusal";
  EXPECT_EQ(default_channel_mask(3), 0xBu);
  EXPECT_EQ(default_channel_mask(9), 0u);
}

}  // namespace
