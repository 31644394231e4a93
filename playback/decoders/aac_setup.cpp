#include "playback/decoders/aac_setup.h"

#include <cstring>

#include "io/io_exceptions.h"

namespace {

constexpr char aac_id[] = "A_AAC";
constexpr std::uint32_t object_type_lc = 2;

struct profile_marker {
  const char* text;
  std::uint32_t object_type;  // 0: SBR on an LC core
};
// Searched in this order: "/SBR" before "/LC", so "MPEG4/LC/SBR" is SBR.
constexpr profile_marker profile_markers[] = {{"/MAIN", 1}, {"/SBR", 0}, {"/LC", 2}, {"/SSR", 3}, {"/LTP", 4}};

// Configurations name channel counts 1 to 7 directly; 8 channels (7.1) is
// configuration 7.
std::uint32_t channel_configuration(std::uint32_t channels) {
  if (channels == 8) return 7;
  if (channels == 0 || channels > 7) vantrel_io::throw_io_data();
  return channels;
}

}  // namespace

bool is_matroska_aac_codec_id(const char* codec_id) {
  return codec_id && std::strncmp(codec_id, aac_id, 5) == 0 && (codec_id[5] == 0 || codec_id[5] == '/');
}

std::uint32_t aac_sampling_frequency_index(std::uint32_t rate) {
  constexpr std::uint32_t lower_bounds[] = {92017, 75132, 55426, 46009, 37566, 27713,
                                            23004, 18783, 13856, 11502, 9391};
  for (std::uint32_t i = 0; i < std::size(lower_bounds); ++i)
    if (rate >= lower_bounds[i]) return i;
  return 11;
}

std::vector<std::uint8_t> aac_setup_from_matroska(const matroska_codec_setup& record) {
  if (!is_matroska_aac_codec_id(record.codec_id)) vantrel_io::throw_io_data();
  if (record.codec_id[5] == 0) {
    if (!record.private_data || record.private_size == 0) vantrel_io::throw_io_data();
    const auto* bytes = static_cast<const std::uint8_t*>(record.private_data);
    return {bytes, bytes + record.private_size};
  }
  const char* profile = record.codec_id + 6;
  const profile_marker* found = nullptr;
  for (const auto& marker : profile_markers)
    if (std::strstr(profile, marker.text)) {
      found = &marker;
      break;
    }
  if (!found) vantrel_io::throw_io_data();
  const bool sbr = found->object_type == 0;
  const std::uint32_t object_type = sbr ? object_type_lc : found->object_type;
  const std::uint32_t index = aac_sampling_frequency_index(record.sample_rate);
  const std::uint32_t configuration = channel_configuration(record.channels & 0xFF);
  std::vector<std::uint8_t> setup = {static_cast<std::uint8_t>(object_type << 3 | index >> 1),
                                     static_cast<std::uint8_t>((index & 1) << 7 | configuration << 3)};
  if (sbr) {
    // Sync extension 0x2B7, extension object type 5 (SBR), SBR present.
    // Tracks that leave the output rate out play SBR at twice the core rate.
    const std::uint32_t output_rate = record.output_sample_rate ? record.output_sample_rate : 2 * record.sample_rate;
    const std::uint32_t output_index = aac_sampling_frequency_index(output_rate);
    setup.insert(setup.end(), {0x56, 0xE5, static_cast<std::uint8_t>(0x80 | output_index << 3)});
  }
  return setup;
}
