// Microsoft and IMA ADPCM data come in blocks of a fixed byte size, each
// starting afresh from its own header and decoding to a fixed number of
// samples; only the data's last block may be cut short. Lengths and seeks
// follow from that layout, not from the record's byte rate, which writers
// often fill in wrongly.
#pragma once

#include <cstdint>
#include <optional>

#include "playback/inputs/wav/wav_format.h"

struct adpcm_block_layout {
  std::uint32_t block_bytes = 0;
  std::uint32_t samples_per_block = 0;
  std::uint32_t header_bytes = 0;  // the block header: its samples, then the nibbles
  std::uint32_t channels = 0;
  bool ima = false;

  // The samples that `bytes` of one block decode to: a block cut short
  // holds only its whole sample groups, and none without its header.
  std::uint32_t samples_in_block(std::uint32_t bytes) const;
  // The samples of `data_bytes` of whole blocks and a last short one.
  std::uint64_t samples_in(std::uint64_t data_bytes) const;
};

// The layout of a 4-bit Microsoft or IMA ADPCM record; nothing for any other
// format or for a block too small to hold its header and one sample group.
std::optional<adpcm_block_layout> adpcm_block_layout_of(const wave_format& format);

// The sample count of the data: the "fact" chunk's count when the blocks can
// hold it (0 stands for none: writers that never finished leave it so),
// else every sample the blocks hold.
std::uint64_t adpcm_sample_count(const adpcm_block_layout& layout, std::uint64_t data_bytes,
                                 std::optional<std::uint32_t> fact_samples);
