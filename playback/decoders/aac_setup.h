// The AudioSpecificConfig an AAC decoder is set up with: built from a
// Matroska track whose codec id names the profile instead of carrying it, and
// read for the rate and channels the decoded stream comes out with.
#pragma once

#include <cstdint>
#include <vector>

#include "playback/decoders/packet_codec.h"

// Whether a Matroska codec id is AAC: "A_AAC" or "A_AAC/<profile>".
bool is_matroska_aac_codec_id(const char* codec_id);

// "A_AAC" gives the codec-private bytes; a profile id gives the two (or, with
// SBR, five) bytes of the configuration. No profile marker, a missing
// codec-private or a channel count the configuration cannot name:
// exception_io_data.
std::vector<std::uint8_t> aac_setup_from_matroska(const matroska_codec_setup& record);

// The index of a sampling frequency in the table of the configuration, the
// nearest entry for rates between them.
std::uint32_t aac_sampling_frequency_index(std::uint32_t rate);

// The rate SBR plays at: the one the stream declares, else twice the core rate.
std::uint32_t aac_sbr_output_rate(std::uint32_t core_rate, std::uint32_t declared_output_rate);

// What a decoder makes of a stream with this configuration; 0 where the
// configuration does not say (damaged, or a layout no speaker mask names).
struct aac_output_format {
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  // The speakers of the decoded channels, which come out in the order of
  // the mask's bits as every other multichannel format here hands them on.
  std::uint32_t channel_mask = 0;
};

// SBR signalled explicitly (object type 5 or 29, or the sync extension
// 0x2B7 with its present flag) plays at the extension's rate; an AAC LC core
// of at most 24 kHz in a container that declares twice its rate is SBR
// signalled implicitly. Mono under explicit SBR comes out in two channels,
// for the parametric stereo it may carry, unless the configuration says
// there is none; under implicit SBR it stays mono. The channels are those of
// the channel configuration, or of the program config element.
aac_output_format aac_output_format_of(const std::uint8_t* config, std::size_t size, std::uint32_t container_rate);

// The speakers of a channel count when the configuration does not name
// them: AAC's own layout for the count (its front centre comes first), 0
// for counts no channel configuration has.
std::uint32_t aac_default_channel_mask(std::uint32_t channels);
