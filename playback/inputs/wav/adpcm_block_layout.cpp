#include "playback/inputs/wav/adpcm_block_layout.h"

namespace {

// Header: a predictor index, a delta and two starting samples per channel
// (Microsoft), or one starting sample and a step index (IMA). The starting
// samples count: two per channel, or one.
constexpr std::uint32_t ms_header_bytes_per_channel = 7;
constexpr std::uint32_t ima_header_bytes_per_channel = 4;
// IMA interleaves the channels in groups of 4 bytes: 8 samples each.
constexpr std::uint32_t ima_group_bytes_per_channel = 4;

}  // namespace

std::uint32_t adpcm_block_layout::samples_in_block(std::uint32_t bytes) const {
  if (bytes > block_bytes) bytes = block_bytes;
  if (bytes < header_bytes) return 0;
  const std::uint32_t body = bytes - header_bytes;
  if (ima) return 1 + body / (ima_group_bytes_per_channel * channels) * 8;
  return 2 + body * 2 / channels;
}

std::uint64_t adpcm_block_layout::samples_in(std::uint64_t data_bytes) const {
  return data_bytes / block_bytes * samples_per_block +
         samples_in_block(static_cast<std::uint32_t>(data_bytes % block_bytes));
}

std::optional<adpcm_block_layout> adpcm_block_layout_of(const wave_format& format) {
  const std::uint16_t tag = format.format_tag();
  if ((tag != wave_tag_ms_adpcm && tag != wave_tag_ima_adpcm) || format.bits_per_sample() != 4) return std::nullopt;
  adpcm_block_layout layout;
  layout.ima = tag == wave_tag_ima_adpcm;
  layout.channels = format.channels();
  layout.block_bytes = format.block_align();
  if (layout.channels == 0) return std::nullopt;
  const std::uint32_t smallest_body = layout.ima ? ima_group_bytes_per_channel * layout.channels : 1;
  layout.header_bytes = (layout.ima ? ima_header_bytes_per_channel : ms_header_bytes_per_channel) * layout.channels;
  if (layout.block_bytes < layout.header_bytes + smallest_body) return std::nullopt;
  layout.samples_per_block = layout.samples_in_block(layout.block_bytes);
  return layout;
}

std::uint64_t adpcm_sample_count(const adpcm_block_layout& layout, std::uint64_t data_bytes,
                                 std::optional<std::uint32_t> fact_samples) {
  const std::uint64_t held = layout.samples_in(data_bytes);
  if (fact_samples && *fact_samples != 0 && *fact_samples <= held) return *fact_samples;
  return held;
}
