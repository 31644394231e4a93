// Splits the rest of a SimpleBlock or Block (after its track number) into
// frames: the relative timecode, the flags and the lacing (none, Xiph, fixed
// size or EBML), which may pack up to 256 frames into one block.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

struct matroska_frame {
  // Ticks relative to the Cluster's timecode.
  std::int32_t timecode = 0;
  // Set for the first frame of a block only: the decoder derives the times
  // of the further frames of a laced block.
  bool has_timecode = false;
  bool invisible = false;
  // Nanoseconds of padding to drop from the end of this frame's output: the
  // block's DiscardPadding, carried by its last frame.
  std::int64_t discard_padding = 0;
  std::vector<std::uint8_t> data;
};

// The frames of one Cluster, in block order.
struct matroska_cluster_frames {
  std::deque<matroska_frame> frames;
  std::uint64_t cluster_timecode = 0;

  // A new frame at the end of the list.
  matroska_frame& append() { return frames.emplace_back(); }
};

// The most one frame may hold: far above any audio frame, far below what a
// 32-bit process can give one allocation.
inline constexpr std::uint32_t matroska_max_frame_size = 16 * 1024 * 1024;

// Appends one frame per laced frame; every malformed block is
// exception_io_data, and frames appended before the fault stay.
void matroska_read_block(matroska_cluster_frames& frames, ebml_reader& reader);

// The signed size difference of EBML lacing: an EBML number minus half its range.
std::int64_t matroska_read_signed_vint(ebml_reader& reader);

}  // namespace Matroska
