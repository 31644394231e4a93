#include "playback/sample_kernels_vector.h"

#include <immintrin.h>

#include <cstring>

#include "playback/sample_conversion.h"

// Every kernel hands its remainder (count modulo its block) to the scalar
// form of the same conversion, so both halves round alike.
namespace {

const sample_kernels::table& scalar() { return sample_kernels::for_path(sample_kernels::path::scalar); }

// NaN lanes become 0, the rest are clamped to [low, high]: the scalar rule.
__attribute__((target("sse"))) inline __m128 clamp_ps(__m128 value, __m128 low, __m128 high) {
  value = _mm_and_ps(value, _mm_cmpord_ps(value, value));
  return _mm_min_ps(_mm_max_ps(value, low), high);
}

__attribute__((target("sse2"))) inline __m128i quantize_ps(const float* source, const pcm_quantizer& q) {
  const __m128 product = _mm_mul_ps(_mm_loadu_ps(source), _mm_set1_ps(q.scale));
  const __m128 limited = clamp_ps(product, _mm_set1_ps(static_cast<float>(q.minimum)),
                                  _mm_set1_ps(static_cast<float>(q.maximum)));
  return _mm_cvtps_epi32(limited);
}

} // namespace

__attribute__((target("sse"))) void scale_sse(const float* source, float* destination, std::uint32_t count,
                                              float gain) {
  const __m128 factor = _mm_set1_ps(gain);
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 8, destination += 8) {
    _mm_storeu_ps(destination, _mm_mul_ps(_mm_loadu_ps(source), factor));
    _mm_storeu_ps(destination + 4, _mm_mul_ps(_mm_loadu_ps(source + 4), factor));
  }
  scalar().scale(source, destination, count % 8, gain);
}

// Through MMX registers: the packing instruction saturates to 16 bits, the
// clamp before it keeps out-of-range floats from turning into -32768.
__attribute__((target("sse"))) void float_to_s16_sse(const float* source, std::int16_t* destination,
                                                     std::uint32_t count, float gain) {
  const __m128 factor = _mm_set1_ps(gain * 32768.0f);
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 8, destination += 8) {
    const __m64 a = _mm_cvtps_pi16(clamp_ps(_mm_mul_ps(_mm_loadu_ps(source), factor), low, high));
    const __m64 b = _mm_cvtps_pi16(clamp_ps(_mm_mul_ps(_mm_loadu_ps(source + 4), factor), low, high));
    std::memcpy(destination, &a, 8);
    std::memcpy(destination + 4, &b, 8);
  }
  _mm_empty();
  scalar().float_to_s16(source, destination, count % 8, gain);
}

__attribute__((target("sse2"))) void s16_to_float_sse2(const void* source, float* destination,
                                                       std::uint32_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  // Aligned stores once the destination allows them.
  const auto address = reinterpret_cast<std::uintptr_t>(destination);
  std::uint32_t lead = address % 4 == 0 ? static_cast<std::uint32_t>((16 - address % 16) % 16 / 4) : 0;
  if (lead > count) lead = count;
  scalar().s16_to_float(bytes, destination, lead);
  bytes += 2 * lead, destination += lead, count -= lead;
  const __m128 factor = _mm_set1_ps(1.0f / 32768.0f);
  const std::uint32_t blocks = count / 8;
  const bool aligned = reinterpret_cast<std::uintptr_t>(destination) % 16 == 0;
  for (std::uint32_t i = 0; i < blocks; ++i, bytes += 16, destination += 8) {
    const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(samples, samples), 16);
    const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(samples, samples), 16);
    const __m128 a = _mm_mul_ps(_mm_cvtepi32_ps(low), factor), b = _mm_mul_ps(_mm_cvtepi32_ps(high), factor);
    if (aligned) {
      _mm_store_ps(destination, a);
      _mm_store_ps(destination + 4, b);
    } else {
      _mm_storeu_ps(destination, a);
      _mm_storeu_ps(destination + 4, b);
    }
  }
  scalar().s16_to_float(bytes, destination, count % 8);
}

__attribute__((target("sse4.1"))) void s16_to_float_sse41(const void* source, float* destination,
                                                          std::uint32_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  const __m128 factor = _mm_set1_ps(1.0f / 32768.0f);
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, bytes += 16, destination += 8) {
    const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    _mm_storeu_ps(destination, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(samples)), factor));
    _mm_storeu_ps(destination + 4,
                  _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(_mm_srli_si128(samples, 8))), factor));
  }
  scalar().s16_to_float(bytes, destination, count % 8);
}

__attribute__((target("sse2"))) void s32_to_float_sse2(const void* source, float* destination,
                                                       std::uint32_t count, float gain) {
  const auto* bytes = static_cast<const std::uint8_t*>(source);
  const __m128 factor = _mm_set1_ps(gain * (1.0f / 2147483648.0f));
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, bytes += 32, destination += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    _mm_storeu_ps(destination, _mm_mul_ps(_mm_cvtepi32_ps(a), factor));
    _mm_storeu_ps(destination + 4, _mm_mul_ps(_mm_cvtepi32_ps(b), factor));
  }
  scalar().s32_to_float(bytes, destination, count % 8, gain);
}

__attribute__((target("sse2"))) void float_to_s16_sse2(const float* source, std::int16_t* destination,
                                                       std::uint32_t count, float gain) {
  const __m128 factor = _mm_set1_ps(gain * 32768.0f);
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  const std::uint32_t blocks = count / 16;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 16, destination += 16) {
    __m128i words[4];
    for (int k = 0; k < 4; ++k)
      words[k] = _mm_cvtps_epi32(clamp_ps(_mm_mul_ps(_mm_loadu_ps(source + 4 * k), factor), low, high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_packs_epi32(words[0], words[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 8), _mm_packs_epi32(words[2], words[3]));
  }
  scalar().float_to_s16(source, destination, count % 16, gain);
}

// The conversion answers 0x80000000 for anything at or above 2^31; those
// lanes are flipped to 0x7FFFFFFF, so full scale gives the largest value,
// not a value 128 below it.
__attribute__((target("sse2"))) void float_to_s32_sse2(const float* source, std::int32_t* destination,
                                                       std::uint32_t count, float gain) {
  const __m128 factor = _mm_set1_ps(gain * 2147483648.0f);
  const __m128 limit = _mm_set1_ps(2147483648.0f);
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 8, destination += 8) {
    for (int k = 0; k < 2; ++k) {
      const __m128 product = _mm_mul_ps(_mm_loadu_ps(source + 4 * k), factor);
      __m128i value = _mm_cvtps_epi32(product);
      value = _mm_xor_si128(value, _mm_castps_si128(_mm_cmpge_ps(product, limit)));
      value = _mm_and_si128(value, _mm_castps_si128(_mm_cmpord_ps(product, product)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * k), value);
    }
  }
  scalar().float_to_s32(source, destination, count % 8, gain);
}

// Four samples a block, packed to twelve bytes through a store and shifts.
__attribute__((target("sse2"))) void quantize_24_sse2(const float* source, std::uint8_t* destination,
                                                      std::uint32_t count, const pcm_quantizer& quantizer) {
  const std::uint32_t blocks = count / 4;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 4, destination += 12) {
    alignas(16) std::uint32_t values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), quantize_ps(source, quantizer));
    for (int k = 0; k < 4; ++k) {
      destination[3 * k] = static_cast<std::uint8_t>(values[k]);
      destination[3 * k + 1] = static_cast<std::uint8_t>(values[k] >> 8);
      destination[3 * k + 2] = static_cast<std::uint8_t>(values[k] >> 16);
    }
  }
  scalar().quantize_24(source, destination, count % 4, quantizer);
}

__attribute__((target("ssse3"))) void quantize_24_ssse3(const float* source, std::uint8_t* destination,
                                                       std::uint32_t count, const pcm_quantizer& quantizer) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const std::uint32_t blocks = count / 4;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 4, destination += 12) {
    alignas(16) std::uint8_t packed[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), _mm_shuffle_epi8(quantize_ps(source, quantizer), pack));
    std::memcpy(destination, packed, 12);
  }
  scalar().quantize_24(source, destination, count % 4, quantizer);
}

__attribute__((target("sse2"))) void quantize_24_in_32_sse2(const float* source, std::int32_t* destination,
                                                            std::uint32_t count, const pcm_quantizer& quantizer) {
  const std::uint32_t blocks = count / 8;
  for (std::uint32_t i = 0; i < blocks; ++i, source += 8, destination += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_slli_epi32(quantize_ps(source, quantizer), 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4),
                     _mm_slli_epi32(quantize_ps(source + 4, quantizer), 8));
  }
  scalar().quantize_24_in_32(source, destination, count % 8, quantizer);
}
