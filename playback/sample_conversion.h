// Conversions between the interleaved 32-bit float samples of audio blocks
// (full scale 1.0) and integer PCM. Each exists in a scalar form and in
// vector forms that give bit-identical results; the best form for the
// processor is chosen once, when the process starts.
//
// Float to integer always means: the sample times the scale, rounded to
// single precision, rounded to the nearest integer (ties to even), clamped to
// the target range. NaN becomes 0, infinities become the range's ends.
#pragma once

#include <cstdint>

struct pcm_quantizer {
  std::int32_t minimum;  // -2^(valid bits - 1)
  std::int32_t maximum;  // 2^(valid bits - 1) - 1
  std::uint8_t shift;    // container bits - valid bits when left-justified, else 0
  float scale;           // 2^(valid bits - 1) x gain

  pcm_quantizer(unsigned container_bits, unsigned valid_bits, bool left_justify, float gain) noexcept;
  std::int32_t quantize(float sample) const noexcept;
};

// Integer sources may lie at any address.
void convert_s16_to_float(const void* source, float* destination, std::uint32_t count);
// Sample x gain x 2^-31.
void convert_s32_to_float(const void* source, float* destination, std::uint32_t count, float gain);
void scale_floats(const float* source, float* destination, std::uint32_t count, float gain);
// Scale gain x 32768, clamped to the signed 16-bit range.
void convert_float_to_s16(const float* source, std::int16_t* destination, std::uint32_t count, float gain);
// Scale gain x 2^31, clamped to the signed 32-bit range.
void convert_float_to_s32(const float* source, std::int32_t* destination, std::uint32_t count, float gain);

// The quantiser behind every integer output: `count` samples into
// containers of 1 to 32 bits (1 to 4 bytes, little-endian; 8-bit output is
// the signed value's low byte). False, writing nothing, for a container of
// 0 or more than 32 bits, or valid bits outside 1 .. container bits.
bool pcm_float_to_int(const float* source, void* destination, std::uint32_t count, unsigned container_bits,
                      unsigned valid_bits, bool left_justify, float gain);

// The interchangeable forms, for callers that must name one (the tests prove
// that all agree, the benchmark compares them).
namespace sample_kernels {

enum class path { scalar, sse, sse2, ssse3, sse41 };
inline constexpr path all_paths[] = {path::scalar, path::sse, path::sse2, path::ssse3, path::sse41};

struct table {
  void (*s16_to_float)(const void*, float*, std::uint32_t);
  void (*s32_to_float)(const void*, float*, std::uint32_t, float);
  void (*scale)(const float*, float*, std::uint32_t, float);
  void (*float_to_s16)(const float*, std::int16_t*, std::uint32_t, float);
  void (*float_to_s32)(const float*, std::int32_t*, std::uint32_t, float);
  // 24 valid bits packed in three bytes, and 24 valid bits left-justified
  // in 32-bit words: the forms 24-bit devices take.
  void (*quantize_24)(const float*, std::uint8_t*, std::uint32_t, const pcm_quantizer&);
  void (*quantize_24_in_32)(const float*, std::int32_t*, std::uint32_t, const pcm_quantizer&);
};

// Whether the processor runs the path's instructions.
bool available(path p) noexcept;
// The best kernels that use no instructions beyond the path's.
const table& for_path(path p) noexcept;
// The kernels chosen for this processor.
const table& active() noexcept;

} // namespace sample_kernels
