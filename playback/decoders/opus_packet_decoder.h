// Opus decoding (registered as a packet codec): the two header packets of a
// stream, "OpusHead" (channel layout, pre-skip, output gain) and "OpusTags"
// (vendor and comments).
#pragma once

#include <cstdint>

class track_info;

struct opus_head {
  std::uint32_t version = 0;
  std::uint32_t channels = 0;
  std::uint16_t preskip = 0;
  std::uint32_t input_sample_rate = 0;
  // In 1/256 dB.
  std::int16_t output_gain = 0;
  std::uint32_t mapping_family = 0;
  std::uint32_t streams = 0;
  std::uint32_t coupled_streams = 0;
  std::uint8_t mapping[255] = {};
};

// False for a packet that is no valid identification header.
bool opus_head_parse(const void* packet, std::uint32_t size, opus_head& out);

// The mapping libopus gets and the speaker mask of what it then puts out:
// family 1 streams are reordered from Vorbis order into the system's.
void opus_decoder_mapping(const opus_head& head, std::uint8_t (&out)[255]);
std::uint32_t opus_output_channel_mask(const opus_head& head);

// Reads the comments into the info's fields and the "tool" entry, and an
// R128 track gain into its ReplayGain record; a malformed packet throws
// exception_io_data.
void opus_tags_parse(const void* packet, std::uint32_t size, std::int16_t output_gain, track_info& info);
