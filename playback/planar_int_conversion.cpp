#include "playback/planar_int_conversion.h"

#include <emmintrin.h>

#include <cstddef>

#include "foundation/cpu_features.h"

namespace {

const bool has_sse2 = cpu_has_features(cpu_feature_sse2);

float scale_for(std::uint32_t bps) noexcept { return 1.0f / static_cast<float>(1ull << (bps - 1)); }

// The low bps bits, sign-extended; unsigned shifts keep the left shift defined.
inline std::int32_t low_bits(std::int32_t value, unsigned shift) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift) >> shift;
}

void convert_generic(const std::int32_t* const* channel_data, std::uint32_t channels, std::uint32_t samples,
                     std::uint32_t bps, float* out) noexcept {
  const unsigned shift = 32 - bps;
  const float scale = scale_for(bps);
  for (std::uint32_t c = 0; c < channels; ++c) {
    const std::int32_t* in = channel_data[c];
    float* dest = out + c;
    std::uint32_t i = 0;
    for (; i + 4 <= samples; i += 4) {
      dest[(i + 0) * channels] = static_cast<float>(low_bits(in[i + 0], shift)) * scale;
      dest[(i + 1) * channels] = static_cast<float>(low_bits(in[i + 1], shift)) * scale;
      dest[(i + 2) * channels] = static_cast<float>(low_bits(in[i + 2], shift)) * scale;
      dest[(i + 3) * channels] = static_cast<float>(low_bits(in[i + 3], shift)) * scale;
    }
    for (; i < samples; ++i) dest[i * channels] = static_cast<float>(low_bits(in[i], shift)) * scale;
  }
}

// Four values of one channel, reduced to their low bits and scaled.
__attribute__((target("sse2"))) inline __m128 load_scaled(const std::int32_t* in, int shift, __m128 scale) {
  const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  return _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(raw, shift), shift)), scale);
}

// 16 and 24-bit frames, eight samples per step; `samples` is a multiple of 8.
__attribute__((target("sse2"))) void convert_vector(const std::int32_t* const* channel_data, std::uint32_t channels,
                                                    std::uint32_t samples, std::uint32_t bps, float* out) noexcept {
  const int shift = static_cast<int>(32 - bps);
  const __m128 scale = _mm_set1_ps(scale_for(bps));
  const bool aligned = (reinterpret_cast<std::uintptr_t>(out) & 15) == 0;
  if (channels == 1 && aligned) {
    const std::int32_t* in = channel_data[0];
    for (std::uint32_t i = 0; i < samples; i += 8) {
      _mm_store_ps(out + i, load_scaled(in + i, shift, scale));
      _mm_store_ps(out + i + 4, load_scaled(in + i + 4, shift, scale));
    }
    return;
  }
  if (channels == 2 && aligned) {
    const std::int32_t* left = channel_data[0];
    const std::int32_t* right = channel_data[1];
    for (std::uint32_t i = 0; i < samples; i += 8) {
      for (std::uint32_t half = 0; half < 8; half += 4) {
        const __m128 l = load_scaled(left + i + half, shift, scale);
        const __m128 r = load_scaled(right + i + half, shift, scale);
        _mm_store_ps(out + 2 * (i + half), _mm_unpacklo_ps(l, r));
        _mm_store_ps(out + 2 * (i + half) + 4, _mm_unpackhi_ps(l, r));
      }
    }
    return;
  }
  alignas(16) float lane[8];
  for (std::uint32_t c = 0; c < channels; ++c) {
    const std::int32_t* in = channel_data[c];
    float* dest = out + c;
    for (std::uint32_t i = 0; i < samples; i += 8) {
      _mm_store_ps(lane, load_scaled(in + i, shift, scale));
      _mm_store_ps(lane + 4, load_scaled(in + i + 4, shift, scale));
      for (std::uint32_t k = 0; k < 8; ++k) dest[(i + k) * channels] = lane[k];
    }
  }
}

}  // namespace

void convert_planar_int32_to_float(const std::int32_t* const* channel_data, std::uint32_t channels,
                                   std::uint32_t samples, std::uint32_t bps, float* out) noexcept {
  if (has_sse2 && samples % 8 == 0 && (bps == 16 || bps == 24)) {
    convert_vector(channel_data, channels, samples, bps, out);
  } else {
    convert_generic(channel_data, channels, samples, bps, out);
  }
}

bool convert_planar_int32_to_float_checked(const std::int32_t* const* channel_data, std::uint32_t channels,
                                           std::uint32_t samples, std::uint32_t bps, float* out) noexcept {
  convert_generic(channel_data, channels, samples, bps, out);
  const unsigned shift = 32 - bps;
  for (std::uint32_t c = 0; c < channels; ++c) {
    const std::int32_t* in = channel_data[c];
    for (std::uint32_t i = 0; i < samples; ++i) {
      if (low_bits(in[i], shift) != in[i]) return false;
    }
  }
  return true;
}
