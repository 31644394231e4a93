// The vector forms of the sample conversions (playback/sample_conversion.h
// chooses among them). Each may run only where its instruction set exists.
#pragma once

#include <cstdint>

struct pcm_quantizer;

void scale_sse(const float* source, float* destination, std::uint32_t count, float gain);
void float_to_s16_sse(const float* source, std::int16_t* destination, std::uint32_t count, float gain);

void s16_to_float_sse2(const void* source, float* destination, std::uint32_t count);
void s32_to_float_sse2(const void* source, float* destination, std::uint32_t count, float gain);
void float_to_s16_sse2(const float* source, std::int16_t* destination, std::uint32_t count, float gain);
void float_to_s32_sse2(const float* source, std::int32_t* destination, std::uint32_t count, float gain);
void quantize_24_sse2(const float* source, std::uint8_t* destination, std::uint32_t count,
                      const pcm_quantizer& quantizer);
void quantize_24_in_32_sse2(const float* source, std::int32_t* destination, std::uint32_t count,
                            const pcm_quantizer& quantizer);

void quantize_24_ssse3(const float* source, std::uint8_t* destination, std::uint32_t count,
                       const pcm_quantizer& quantizer);

void s16_to_float_sse41(const void* source, float* destination, std::uint32_t count);
