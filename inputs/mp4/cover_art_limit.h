// The largest picture an MP4 tag's cover art item is read or written with.
#pragma once

#include <cstdint>

namespace tarnex {

inline constexpr std::uint32_t max_picture_bytes = 16 * 1024 * 1024;

}  // namespace tarnex
