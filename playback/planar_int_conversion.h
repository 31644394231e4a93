// Decoded lossless frames arrive as one array of signed 32-bit integers per
// channel, each holding a value of the frame's bit depth; audio blocks carry
// interleaved floats. Sample value x of depth bps becomes x / 2^(bps - 1),
// taking only the low bps bits of x (sign-extended), so stray high bits of a
// damaged frame cannot push a sample past full scale.
#pragma once

#include <cstdint>

// `channels` arrays of `samples` values each into `out`, which holds
// samples x channels floats, frame by frame. bps is 1 to 32.
void convert_planar_int32_to_float(const std::int32_t* const* channel_data, std::uint32_t channels,
                                   std::uint32_t samples, std::uint32_t bps, float* out) noexcept;

// The same conversion, also answering whether every value already was its
// own sign-extended low bps bits (false for a damaged frame); the output is
// written in full either way.
bool convert_planar_int32_to_float_checked(const std::int32_t* const* channel_data, std::uint32_t channels,
                                           std::uint32_t samples, std::uint32_t bps, float* out) noexcept;
