#include "inputs/musepack/musepack_packets.h"

#include "io/io_exceptions.h"

namespace musepack {

packet_header packet_reader::next(const abort_signal& abort) {
  packet_header packet;
  packet.position = next_;
  file_.seek(next_, abort);
  std::uint8_t bytes[6] = {};
  const std::uint32_t got = file_.read(bytes, sizeof bytes, abort);
  if (got < 3) return packet;
  std::uint64_t size = 0;
  std::uint32_t length = 0;
  for (;;) {
    if (length == 4 || 2 + length >= got) vantrel_io::throw_io_data();
    const std::uint8_t byte = bytes[2 + length++];
    size = (size << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) break;
  }
  if (size < 2 + length) vantrel_io::throw_io_data();
  packet.found = true;
  std::memcpy(packet.key, bytes, 2);
  packet.total_size = size;
  packet.size_field_length = length;
  packet.payload_size = size - 2 - length;
  next_ += size;
  return packet;
}

std::vector<std::uint8_t> encode_packet_number(std::uint64_t value) {
  std::uint32_t length = 1;
  while (length < 9 && (value >> (7 * length)) != 0) ++length;
  std::vector<std::uint8_t> out(length);
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint32_t shift = 7 * (length - 1 - i);
    out[i] = static_cast<std::uint8_t>(((value >> shift) & 0x7F) | (i + 1 < length ? 0x80 : 0));
  }
  return out;
}

std::vector<std::uint8_t> packet_bytes(const char* key, const std::vector<std::uint8_t>& payload) {
  std::uint32_t length = 1;
  while ((payload.size() + 2 + length) >> (7 * length) != 0) {
    if (++length > 9) vantrel_io::throw_io_data();
  }
  std::vector<std::uint8_t> out(key, key + 2);
  std::vector<std::uint8_t> size = encode_packet_number(payload.size() + 2 + length);
  size.insert(size.begin(), length - size.size(), 0x80);
  out.insert(out.end(), size.begin(), size.end());
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

}  // namespace musepack
