// The WAVEFORMATEX-layout record of a WAVE file's "fmt " chunk, read field by
// field from its little-endian bytes (the record in a file need not be
// aligned, and its extension may be shorter than the platform's struct).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

inline constexpr std::uint16_t wave_tag_pcm = 1;
inline constexpr std::uint16_t wave_tag_ms_adpcm = 2;
inline constexpr std::uint16_t wave_tag_float = 3;
inline constexpr std::uint16_t wave_tag_ima_adpcm = 0x11;
inline constexpr std::uint16_t wave_tag_extensible = 0xFFFE;

inline constexpr GUID wave_subformat_pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID wave_subformat_float = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Sizes of the plain record and of the record with the extensible extension.
inline constexpr std::size_t wave_format_base_size = 18;
inline constexpr std::size_t wave_format_extensible_size = 40;

struct wave_format {
  std::vector<std::uint8_t> bytes;  // at least wave_format_base_size

  std::uint16_t format_tag() const { return u16(0); }
  std::uint16_t channels() const { return u16(2); }
  std::uint32_t samples_per_second() const { return u32(4); }
  std::uint32_t average_bytes_per_second() const { return u32(8); }
  void set_average_bytes_per_second(std::uint32_t value);
  std::uint16_t block_align() const { return u16(12); }
  std::uint16_t bits_per_sample() const { return u16(14); }
  std::uint16_t extra_size() const { return u16(16); }
  void set_extra_size(std::uint16_t value);
  // Extensible fields; only valid with extra_size() >= 22.
  std::uint16_t valid_bits_per_sample() const { return u16(18); }
  std::uint32_t channel_mask() const { return u32(20); }
  GUID subformat() const;

  bool is_extensible_with(const GUID& subformat_guid) const {
    return format_tag() == wave_tag_extensible && extra_size() >= 22 && subformat() == subformat_guid;
  }
  // Integer or floating-point PCM, plain or extensible.
  bool is_pcm() const { return format_tag() == wave_tag_pcm || is_extensible_with(wave_subformat_pcm); }
  bool is_float() const { return format_tag() == wave_tag_float || is_extensible_with(wave_subformat_float); }
  // False for an ADPCM record without a block length in samples: the
  // system's codecs read that field whether the record holds it or not, and
  // divide by it.
  bool is_safe_for_system_codecs() const;

private:
  std::uint16_t u16(std::size_t offset) const;
  std::uint32_t u32(std::size_t offset) const;
};
