// The AudioSpecificConfig an AAC decoder is set up with, built from a
// Matroska track whose codec id names the profile instead of carrying it.
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
