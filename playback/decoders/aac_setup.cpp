#include "playback/decoders/aac_setup.h"

#include <cstring>
#include <iterator>
#include <optional>

#include "io/io_exceptions.h"
#include "playback/channel_mask.h"

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

constexpr std::uint32_t object_type_sbr = 5;
constexpr std::uint32_t object_type_ps = 29;
constexpr std::uint32_t sbr_sync_extension = 0x2B7;
constexpr std::uint32_t ps_sync_extension = 0x548;
constexpr std::uint32_t highest_implicit_sbr_core_rate = 24000;
constexpr std::uint32_t sampling_frequencies[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                  22050, 16000, 12000, 11025, 8000, 7350};

// MSB-first bits of a configuration; reads past its end give zeros and set
// `overrun`, so a short configuration is told apart from one that says 0.
class config_bits {
public:
  config_bits(const std::uint8_t* data, std::size_t size) : data_(data), bits_(size * 8) {}
  std::uint32_t read(std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i, ++position_) {
      const bool bit = position_ < bits_ && (data_[position_ / 8] >> (7 - position_ % 8) & 1);
      value = value << 1 | (bit ? 1 : 0);
    }
    if (position_ > bits_) overrun = true;
    return value;
  }
  std::size_t left() const { return position_ < bits_ ? bits_ - position_ : 0; }
  // To the next whole byte from the start of the configuration.
  void align() { skip((8 - position_ % 8) % 8); }
  void skip(std::size_t count) {
    position_ += count;
    if (position_ > bits_) overrun = true;
  }
  bool overrun = false;

private:
  const std::uint8_t* data_;
  std::size_t bits_;
  std::size_t position_ = 0;
};

std::uint32_t read_object_type(config_bits& in) {
  const std::uint32_t type = in.read(5);
  return type == 31 ? 32 + in.read(6) : type;
}

std::uint32_t read_sampling_frequency(config_bits& in) {
  const std::uint32_t index = in.read(4);
  if (index == 15) return in.read(24);
  return index < std::size(sampling_frequencies) ? sampling_frequencies[index] : 0;
}

// The speakers of channel configurations 1 to 7 (7 is 7.1), in the order
// of the mask's bits.
constexpr std::uint32_t configuration_masks[] = {0, 0x4, 0x3, 0x7, 0x107, 0x37, 0x3F, 0x63F};

struct channel_layout {
  std::uint32_t channels = 0;
  std::uint32_t mask = 0;  // 0: no speaker mask names the layout
};

channel_layout layout_of_configuration(std::uint32_t configuration) {
  if (configuration == 0 || configuration > 7) return {};
  const std::uint32_t mask = configuration_masks[configuration];
  return {channel_count_of_mask(mask), mask};
}

bool has_general_audio_config(std::uint32_t type) {
  return (type >= 1 && type <= 4) || type == 6 || type == 7 || (type >= 17 && type <= 23 && type != 18);
}

// Channels of one group of a program config element (single channel
// elements count 1, channel pairs 2).
std::uint32_t read_element_channels(config_bits& in, std::uint32_t elements) {
  std::uint32_t channels = 0;
  for (std::uint32_t i = 0; i < elements; ++i) {
    channels += in.read(1) ? 2 : 1;
    in.read(4);  // element tag
  }
  return channels;
}

// The speakers a program config element places its channels on: a front
// centre for an odd front count, then front pairs, side pairs, back pairs
// with a back centre for an odd back count, and low frequency. A layout
// beyond the speakers a mask names (a lone side channel, a third front pair)
// has no mask.
channel_layout read_program_config(config_bits& in) {
  in.read(4 + 2 + 4);  // element tag, object type, sampling frequency index
  const std::uint32_t front_elements = in.read(4), side_elements = in.read(4), back_elements = in.read(4);
  const std::uint32_t lfe_elements = in.read(2), assoc_elements = in.read(3), cc_elements = in.read(4);
  if (in.read(1)) in.read(4);  // mono mixdown
  if (in.read(1)) in.read(4);  // stereo mixdown
  if (in.read(1)) in.read(3);  // matrix mixdown
  const std::uint32_t front = read_element_channels(in, front_elements);
  const std::uint32_t side = read_element_channels(in, side_elements);
  const std::uint32_t back = read_element_channels(in, back_elements);
  in.skip(4 * lfe_elements + 4 * assoc_elements + 5 * cc_elements);
  in.align();
  in.skip(8 * in.read(8));  // comment
  if (in.overrun) return {};
  channel_layout layout;
  layout.channels = front + side + back + lfe_elements;
  const bool mappable = front / 2 <= 2 && side / 2 <= 1 && side % 2 == 0 && back / 2 <= 1 && lfe_elements <= 1;
  if (!mappable || layout.channels == 0) return layout;
  constexpr std::uint32_t front_pairs[] = {0, 0x3, 0x3 | 0xC0};
  layout.mask = (front % 2 ? 0x4 : 0) | front_pairs[front / 2] | (side ? 0x600 : 0) | (back % 2 ? 0x100 : 0) |
                (back / 2 ? 0x30 : 0) | (lfe_elements ? 0x8 : 0);
  return layout;
}

// Reads the GASpecificConfig up to where extensions may follow, with the
// program config element that stands for a channel configuration of 0;
// false where it cannot be walked.
bool read_general_audio_config(config_bits& in, std::uint32_t type, std::uint32_t configuration,
                               channel_layout& layout) {
  in.read(1);  // frame length flag
  if (in.read(1)) in.read(14);  // core coder delay
  const bool extension = in.read(1) != 0;
  if (configuration == 0) layout = read_program_config(in);
  if (type == 6 || type == 20) in.read(3);  // layer number
  if (extension) {
    if (type == 22) in.read(16);  // sub-frames and layer length
    if (type == 17 || type == 19 || type == 20 || type == 23) in.read(3);  // resilience flags
    in.read(1);  // extension flag 3
  }
  return !in.overrun;
}

}  // namespace

std::uint32_t aac_sbr_output_rate(std::uint32_t core_rate, std::uint32_t declared_output_rate) {
  return declared_output_rate ? declared_output_rate : 2 * core_rate;
}

aac_output_format aac_output_format_of(const std::uint8_t* config, std::size_t size, std::uint32_t container_rate) {
  aac_output_format out;
  if (!config || size < 2) return out;
  config_bits in(config, size);
  std::uint32_t type = read_object_type(in);
  const std::uint32_t core_rate = read_sampling_frequency(in);
  const std::uint32_t configuration = in.read(4);
  std::optional<std::uint32_t> sbr_rate;
  bool explicit_sbr = false;
  // Parametric stereo: signalled present (1) or absent (0), or not at all.
  std::optional<bool> parametric_stereo;
  if (type == object_type_sbr || type == object_type_ps) {
    sbr_rate = aac_sbr_output_rate(core_rate, read_sampling_frequency(in));
    explicit_sbr = true;
    if (type == object_type_ps) parametric_stereo = true;
    type = read_object_type(in);
  }
  if (in.overrun || core_rate == 0) return out;
  channel_layout layout = layout_of_configuration(configuration);
  const bool walked = has_general_audio_config(type) && read_general_audio_config(in, type, configuration, layout);
  if (!sbr_rate && walked && in.left() >= 16 && in.read(11) == sbr_sync_extension &&
      read_object_type(in) == object_type_sbr) {
    // Present or declared absent: either way nothing is left to guess.
    const bool present = in.read(1) != 0;
    const std::uint32_t rate = present ? aac_sbr_output_rate(core_rate, read_sampling_frequency(in)) : core_rate;
    if (in.left() >= 12 && in.read(11) == ps_sync_extension) parametric_stereo = in.read(1) != 0;
    if (!in.overrun) {
      sbr_rate = rate;
      explicit_sbr = present;
    }
  }
  if (!sbr_rate && type == object_type_lc && core_rate <= highest_implicit_sbr_core_rate &&
      container_rate == aac_sbr_output_rate(core_rate, 0))
    sbr_rate = container_rate;
  out.sample_rate = sbr_rate ? *sbr_rate : core_rate;
  out.channels = layout.channels;
  out.channel_mask = layout.mask;
  // Parametric stereo needs no signalling of its own beside explicit SBR: a
  // mono stream so signalled is decoded to two channels, as other players
  // decode it, unless the configuration rules it out. SBR found only by the
  // rate promises nothing of the kind.
  if (explicit_sbr && *sbr_rate != core_rate && out.channels == 1 && parametric_stereo.value_or(true)) {
    out.channels = 2;
    out.channel_mask = 0x3;
  }
  return out;
}

std::uint32_t aac_default_channel_mask(std::uint32_t channels) {
  constexpr std::uint32_t configurations[] = {0, 1, 2, 3, 4, 5, 6, 0, 7};
  return channels < std::size(configurations) ? layout_of_configuration(configurations[channels]).mask : 0;
}

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
    const std::uint32_t output_index =
        aac_sampling_frequency_index(aac_sbr_output_rate(record.sample_rate, record.output_sample_rate));
    setup.insert(setup.end(), {0x56, 0xE5, static_cast<std::uint8_t>(0x80 | output_index << 3)});
  }
  return setup;
}
