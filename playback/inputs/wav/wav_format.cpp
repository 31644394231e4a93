#include "playback/inputs/wav/wav_format.h"

#include <cstring>

#include "foundation/byte_order.h"

std::uint16_t wave_format::u16(std::size_t offset) const {
  return offset + 2 <= bytes.size() ? static_cast<std::uint16_t>(qiv::load_le(bytes.data() + offset, 2)) : 0;
}

std::uint32_t wave_format::u32(std::size_t offset) const {
  return offset + 4 <= bytes.size() ? qiv::load_le(bytes.data() + offset, 4) : 0;
}

void wave_format::set_average_bytes_per_second(std::uint32_t value) { qiv::store_le(bytes.data() + 8, value, 4); }

void wave_format::set_extra_size(std::uint16_t value) { qiv::store_le(bytes.data() + 16, value, 2); }

bool wave_format::is_safe_for_system_codecs() const {
  const std::uint16_t tag = format_tag();
  if (tag != wave_tag_ms_adpcm && tag != wave_tag_ima_adpcm) return true;
  const std::uint16_t samples_per_block = u16(wave_format_base_size);
  return extra_size() >= 2 && samples_per_block != 0;
}

GUID wave_format::subformat() const {
  GUID guid{};
  if (bytes.size() >= wave_format_extensible_size) {
    guid.Data1 = u32(24);
    guid.Data2 = u16(28);
    guid.Data3 = u16(30);
    std::memcpy(guid.Data4, bytes.data() + 32, 8);
  }
  return guid;
}
