#include "playback/decoders/vorbis_comment_packet.h"

#include <cstring>

#include "playback/decoders/ogg_comment_fields.h"

namespace {

constexpr std::size_t signature_size = 7;  // the type byte 3, then "vorbis"

bool read_u32(const std::uint8_t* data, std::size_t size, std::size_t& at, std::uint32_t& out) {
  if (size - at < 4) return false;
  out = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 | std::uint32_t(data[at + 2]) << 16 |
        std::uint32_t(data[at + 3]) << 24;
  at += 4;
  return true;
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

bool vorbis_comment_packet::parse(const std::uint8_t* data, std::size_t size, entry_choice choice) {
  vendor.clear();
  entries.clear();
  if (data == nullptr || size < signature_size || data[0] != 3 || std::memcmp(data + 1, "vorbis", 6) != 0)
    return false;
  std::size_t at = signature_size;
  std::uint32_t length = 0;
  // The bounds are libvorbis's own, lengths being signed there.
  if (!read_u32(data, size, at, length) || length > 0x7FFFFFFFu || length > size - 8 || length > size - at) return false;
  vendor.assign(reinterpret_cast<const char*>(data + at), length);
  at += length;
  std::uint32_t count = 0;
  if (!read_u32(data, size, at, count) || count > 0x7FFFFFFFu || count > (size - at) / 4) return false;
  entries.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!read_u32(data, size, at, length) || length > 0x7FFFFFFFu || length > size - at) return false;
    const char* text = reinterpret_cast<const char*>(data + at);
    at += length;
    if (choice == entry_choice::text_only && ogg_comment_fields::is_picture(text, length)) continue;
    entries.emplace_back(text, length);
  }
  return at < size && (data[at] & 1) != 0;
}

std::vector<std::uint8_t> vorbis_comment_packet::without_entries() const {
  std::vector<std::uint8_t> out{3, 'v', 'o', 'r', 'b', 'i', 's'};
  put_u32(out, static_cast<std::uint32_t>(vendor.size()));
  out.insert(out.end(), vendor.begin(), vendor.end());
  put_u32(out, 0);
  out.push_back(1);  // the framing bit
  return out;
}
