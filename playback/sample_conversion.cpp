#include "playback/sample_conversion.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "foundation/cpu_features.h"
#include "playback/sample_kernels_vector.h"

namespace {

// The x87 unit keeps products in extended precision, while the vector forms
// round each product to single precision: one store makes the scalar form
// round the same way.
inline float single(float value) noexcept {
  volatile float stored = value;
  return stored;
}

void s16_to_float_scalar(const void* source, float* destination, std::uint32_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::int16_t sample;
    std::memcpy(&sample, bytes + 2 * i, 2);
    destination[i] = static_cast<float>(sample) * (1.0f / 32768.0f);
  }
}

void s32_to_float_scalar(const void* source, float* destination, std::uint32_t count, float gain) {
  const float factor = gain * (1.0f / 2147483648.0f);
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::int32_t sample;
    std::memcpy(&sample, bytes + 4 * i, 4);
    destination[i] = single(single(static_cast<float>(sample)) * factor);
  }
}

void scale_scalar(const float* source, float* destination, std::uint32_t count, float gain) {
  for (std::uint32_t i = 0; i < count; ++i) destination[i] = single(source[i] * gain);
}

void float_to_s16_scalar(const float* source, std::int16_t* destination, std::uint32_t count, float gain) {
  const pcm_quantizer quantizer(16, 16, false, gain);
  for (std::uint32_t i = 0; i < count; ++i) destination[i] = static_cast<std::int16_t>(quantizer.quantize(source[i]));
}

void float_to_s32_scalar(const float* source, std::int32_t* destination, std::uint32_t count, float gain) {
  const pcm_quantizer quantizer(32, 32, false, gain);
  for (std::uint32_t i = 0; i < count; ++i) destination[i] = quantizer.quantize(source[i]);
}

void quantize_24_scalar(const float* source, std::uint8_t* destination, std::uint32_t count,
                        const pcm_quantizer& quantizer) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto value = static_cast<std::uint32_t>(quantizer.quantize(source[i]) << quantizer.shift);
    destination[3 * i] = static_cast<std::uint8_t>(value);
    destination[3 * i + 1] = static_cast<std::uint8_t>(value >> 8);
    destination[3 * i + 2] = static_cast<std::uint8_t>(value >> 16);
  }
}

void quantize_24_in_32_scalar(const float* source, std::int32_t* destination, std::uint32_t count,
                              const pcm_quantizer& quantizer) {
  for (std::uint32_t i = 0; i < count; ++i)
    destination[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(quantizer.quantize(source[i])) << quantizer.shift);
}

using sample_kernels::path;
using sample_kernels::table;

constexpr table scalar_table = {s16_to_float_scalar, s32_to_float_scalar,  scale_scalar,
                                float_to_s16_scalar, float_to_s32_scalar, quantize_24_scalar,
                                quantize_24_in_32_scalar};

// Each path adds its own kernels to those of the path below it.
constexpr table sse_table = [] {
  table t = scalar_table;
  t.scale = scale_sse;
  t.float_to_s16 = float_to_s16_sse;
  return t;
}();
constexpr table sse2_table = [] {
  table t = sse_table;
  t.s16_to_float = s16_to_float_sse2;
  t.s32_to_float = s32_to_float_sse2;
  t.float_to_s16 = float_to_s16_sse2;
  t.float_to_s32 = float_to_s32_sse2;
  t.quantize_24 = quantize_24_sse2;
  t.quantize_24_in_32 = quantize_24_in_32_sse2;
  return t;
}();
constexpr table ssse3_table = [] {
  table t = sse2_table;
  t.quantize_24 = quantize_24_ssse3;
  return t;
}();
constexpr table sse41_table = [] {
  table t = ssse3_table;
  t.s16_to_float = s16_to_float_sse41;
  return t;
}();

unsigned features_of(path p) noexcept {
  switch (p) {
  case path::scalar: return 0;
  case path::sse: return cpu_feature_sse;
  case path::sse2: return cpu_feature_sse | cpu_feature_sse2;
  case path::ssse3: return cpu_feature_sse | cpu_feature_sse2 | cpu_feature_ssse3;
  case path::sse41: return cpu_feature_sse | cpu_feature_sse2 | cpu_feature_ssse3 | cpu_feature_sse41;
  }
  return 0;
}

const table& best_table() noexcept {
  for (auto p : {path::sse41, path::ssse3, path::sse2, path::sse})
    if (sample_kernels::available(p)) return sample_kernels::for_path(p);
  return scalar_table;
}

// Read once, before main: the kernels never change while samples flow.
const table& chosen_table = best_table();

} // namespace

namespace sample_kernels {

bool available(path p) noexcept { return cpu_has_features(features_of(p)); }

const table& for_path(path p) noexcept {
  switch (p) {
  case path::scalar: return scalar_table;
  case path::sse: return sse_table;
  case path::sse2: return sse2_table;
  case path::ssse3: return ssse3_table;
  case path::sse41: return sse41_table;
  }
  return scalar_table;
}

const table& active() noexcept { return chosen_table; }

} // namespace sample_kernels

pcm_quantizer::pcm_quantizer(unsigned container_bits, unsigned valid_bits, bool left_justify, float gain) noexcept
    : minimum(static_cast<std::int32_t>(-(std::int64_t{1} << (valid_bits - 1)))),
      maximum(static_cast<std::int32_t>((std::int64_t{1} << (valid_bits - 1)) - 1)),
      shift(static_cast<std::uint8_t>(left_justify ? container_bits - valid_bits : 0)),
      scale(static_cast<float>(std::ldexp(1.0, static_cast<int>(valid_bits) - 1) * gain)) {}

std::int32_t pcm_quantizer::quantize(float sample) const noexcept {
  const float product = single(sample * scale);
  if (product != product) return 0;  // NaN: silence, not a full-scale click
  // Compared in float: the limits of 32-bit words round up to 2^31 there,
  // and every float below that limit converts without overflow.
  if (product >= static_cast<float>(maximum)) return maximum;
  if (product <= static_cast<float>(minimum)) return minimum;
  return static_cast<std::int32_t>(std::lrint(product));
}

void convert_s16_to_float(const void* source, float* destination, std::uint32_t count) {
  chosen_table.s16_to_float(source, destination, count);
}
void convert_s32_to_float(const void* source, float* destination, std::uint32_t count, float gain) {
  chosen_table.s32_to_float(source, destination, count, gain);
}
void scale_floats(const float* source, float* destination, std::uint32_t count, float gain) {
  chosen_table.scale(source, destination, count, gain);
}
void convert_float_to_s16(const float* source, std::int16_t* destination, std::uint32_t count, float gain) {
  chosen_table.float_to_s16(source, destination, count, gain);
}
void convert_float_to_s32(const float* source, std::int32_t* destination, std::uint32_t count, float gain) {
  chosen_table.float_to_s32(source, destination, count, gain);
}

bool pcm_float_to_int(const float* source, void* destination, std::uint32_t count, unsigned container_bits,
                      unsigned valid_bits, bool left_justify, float gain) {
  if (container_bits == 0 || container_bits > 32 || valid_bits == 0 || valid_bits > container_bits) return false;
  const unsigned bytes = (container_bits + 7) / 8;
  const pcm_quantizer quantizer(container_bits, valid_bits, left_justify, gain);
  if (bytes == 2 && valid_bits == 16) {
    chosen_table.float_to_s16(source, static_cast<std::int16_t*>(destination), count, gain);
  } else if (bytes == 4 && valid_bits == 32) {
    chosen_table.float_to_s32(source, static_cast<std::int32_t*>(destination), count, gain);
  } else if (bytes == 3 && valid_bits == 24) {
    chosen_table.quantize_24(source, static_cast<std::uint8_t*>(destination), count, quantizer);
  } else if (bytes == 4 && valid_bits == 24 && quantizer.shift == 8) {
    chosen_table.quantize_24_in_32(source, static_cast<std::int32_t*>(destination), count, quantizer);
  } else {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto value = static_cast<std::uint32_t>(quantizer.quantize(source[i])) << quantizer.shift;
      for (unsigned b = 0; b < bytes; ++b) *out++ = static_cast<std::uint8_t>(value >> (8 * b));
    }
  }
  return true;
}
