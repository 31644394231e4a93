#include "playback/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using sample_kernels::path;

// Noise well past full scale, with the values that break naive converters
// scattered through it.
std::vector<float> hostile_samples(std::size_t count) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<float> level(-1.5f, 1.5f);
  std::vector<float> samples(count);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            1.0f, -1.0f, 0.0f, -0.0f, 1e30f, -1e30f, 0.5f / 32768.0f, 1.5f / 32768.0f,
                            std::numeric_limits<float>::denorm_min()};
  for (std::size_t i = 0; i < count; ++i)
    samples[i] = i % 97 < std::size(specials) ? specials[i % 97] : level(random);
  return samples;
}

template <class T>
std::vector<std::uint8_t> bytes_of(const std::vector<T>& values) {
  std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// One conversion run through a kernel table, its output as bytes. The
// source and destination start at an odd offset into their buffers, so
// unaligned access and the alignment prologues are exercised.
using conversion = std::vector<std::uint8_t> (*)(const sample_kernels::table&, const std::vector<float>&);

std::vector<std::uint8_t> run_float_to_s16(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::int16_t> out(in.size());
  k.float_to_s16(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), 0.8f);
  return bytes_of(out);
}
std::vector<std::uint8_t> run_float_to_s32(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::int32_t> out(in.size());
  k.float_to_s32(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), 1.0f);
  return bytes_of(out);
}
std::vector<std::uint8_t> run_quantize_24(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::uint8_t> out(in.size() * 3);
  k.quantize_24(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), pcm_quantizer(24, 24, false, 1.0f));
  return out;
}
std::vector<std::uint8_t> run_quantize_24_in_32(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::int32_t> out(in.size());
  k.quantize_24_in_32(in.data(), out.data(), static_cast<std::uint32_t>(in.size()), pcm_quantizer(32, 24, true, 1.0f));
  return bytes_of(out);
}
std::vector<std::uint8_t> run_scale(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<float> out(in.size() + 1);
  k.scale(in.data(), out.data() + 1, static_cast<std::uint32_t>(in.size()), 0.3f);
  return bytes_of(out);
}
// The integer inputs read the float noise's bit patterns as integers.
std::vector<std::uint8_t> run_s16_to_float(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::uint8_t> source(in.size() * 4 + 1);
  std::memcpy(source.data() + 1, in.data(), in.size() * 4);
  std::vector<float> out(in.size() * 2 + 1);
  k.s16_to_float(source.data() + 1, out.data() + 1, static_cast<std::uint32_t>(in.size() * 2));
  return bytes_of(out);
}
std::vector<std::uint8_t> run_s32_to_float(const sample_kernels::table& k, const std::vector<float>& in) {
  std::vector<std::uint8_t> source(in.size() * 4 + 3);
  std::memcpy(source.data() + 3, in.data(), in.size() * 4);
  std::vector<float> out(in.size());
  k.s32_to_float(source.data() + 3, out.data(), static_cast<std::uint32_t>(in.size()), 0.7f);
  return bytes_of(out);
}

TEST(SampleConversion, EveryPathMatchesTheScalarFormOnAMillionHostileSamples) {
  const std::vector<float> samples = hostile_samples(1000003);  // not a multiple of any block size
  const struct {
    const char* name;
    conversion run;
  } conversions[] = {{"float_to_s16", run_float_to_s16},   {"float_to_s32", run_float_to_s32},
                     {"quantize_24", run_quantize_24},     {"quantize_24_in_32", run_quantize_24_in_32},
                     {"scale", run_scale},                 {"s16_to_float", run_s16_to_float},
                     {"s32_to_float", run_s32_to_float}};
  const sample_kernels::table& scalar = sample_kernels::for_path(path::scalar);
  for (const auto& c : conversions) {
    const std::vector<std::uint8_t> expected = c.run(scalar, samples);
    for (path p : sample_kernels::all_paths) {
      if (!sample_kernels::available(p)) continue;
      const std::vector<std::uint8_t> got = c.run(sample_kernels::for_path(p), samples);
      std::size_t first = 0;
      while (first < got.size() && got[first] == expected[first]) ++first;
      EXPECT_EQ(first, got.size()) << c.name << " on path " << static_cast<int>(p) << " first differs at byte "
                                   << first;
    }
  }
}

TEST(SampleConversion, QuantiserExactValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    float sample;
    unsigned container, valid;
    bool left;
    std::uint32_t expected;  // the stored bytes, little-endian
    const char* why;
  } cases[] = {
      {1.0f, 16, 16, false, 0x7FFF, "full scale clips to the largest value"},
      {-1.0f, 16, 16, false, 0x8000, "minus full scale is exact"},
      {0.5f, 16, 16, false, 0x4000, "half scale"},
      {nan, 16, 16, false, 0, "NaN is silence, not full-scale negative"},
      {-inf, 16, 16, false, 0x8000, "minus infinity clips"},
      {2.5f / 32768, 16, 16, false, 2, "ties go to even"},
      {3.5f / 32768, 16, 16, false, 4, "ties go to even"},
      {1.0f, 32, 32, false, 0x7FFFFFFF, "full scale at 32 bits in every path"},
      {-1.0f, 32, 32, false, 0x80000000, "minus full scale at 32 bits"},
      {nan, 32, 32, false, 0, "NaN at 32 bits"},
      {1.0f, 24, 24, false, 0x7FFFFF, "24-bit full scale"},
      {-1.0f, 32, 24, true, 0x80000000, "24 valid bits sit at the top of the word"},
      {0.5f, 32, 24, true, 0x40000000, "24 valid bits left-justified"},
      {-1.0f, 8, 8, false, 0x80, "8-bit output is the signed value's low byte"},
      {1.0f, 20, 20, true, 0x7FFFF, "20 bits in a 20-bit container stay where they are"},
      {-1.0f, 16, 12, true, 0x8000, "12 valid bits left-justified in 16"},
      {1.0f, 16, 12, false, 0x7FF, "12 valid bits right-justified"},
  };
  // The active kernels; the test above proves every other path agrees.
  for (const auto& c : cases) {
    // Enough samples that the vector bodies, not only the remainders, run.
    std::vector<float> in(19, c.sample);
    std::vector<std::uint8_t> out(20 * 4, 0xEE);
    const unsigned bytes = (c.container + 7) / 8;
    ASSERT_TRUE(pcm_float_to_int(in.data(), out.data(), 19, c.container, c.valid, c.left, 1.0f));
    for (int i : {0, 18}) {
      std::uint32_t got = 0;
      std::memcpy(&got, out.data() + i * bytes, bytes);
      EXPECT_EQ(got, c.expected) << c.why << " (sample " << i << ")";
    }
    EXPECT_EQ(out[19 * bytes], 0xEE) << "wrote past the end: " << c.why;
  }
}

TEST(SampleConversion, QuantiserRefusesContainersItCannotFill) {
  const float sample = 0.25f;
  std::uint8_t out[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_FALSE(pcm_float_to_int(&sample, out, 1, 0, 0, false, 1.0f));
  EXPECT_FALSE(pcm_float_to_int(&sample, out, 1, 33, 24, false, 1.0f));
  EXPECT_FALSE(pcm_float_to_int(&sample, out, 1, 24, 25, false, 1.0f));
  EXPECT_EQ(out[0], 0xAA);
}

}  // namespace
