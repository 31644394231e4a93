// Walking the packets of a version 8 Musepack stream: a 2-byte key, the
// packet's total size in big-endian groups of 7 bits (0x80 marks all
// bytes but the last), then the payload.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace musepack {

struct packet_header {
  bool found = false;  // false past the last whole packet header
  char key[2] = {};
  std::uint64_t position = 0;
  std::uint64_t total_size = 0;  // key, size field and payload
  std::uint32_t size_field_length = 0;
  std::uint64_t payload_size = 0;

  bool is(const char* wanted) const { return std::memcmp(key, wanted, 2) == 0; }
  std::uint64_t payload_position() const { return position + 2 + size_field_length; }
};

class packet_reader {
public:
  packet_reader(vantrel_io::file_object& file, std::uint64_t first_packet) : file_(file), next_(first_packet) {}
  // The next packet's header; the reader then stands past the packet.
  // A size field over 4 bytes or smaller than the header: exception_io_data.
  packet_header next(const abort_signal& abort);

private:
  vantrel_io::file_object& file_;
  std::uint64_t next_;
};

// The size field for `value` (smallest length that holds it).
std::vector<std::uint8_t> encode_packet_number(std::uint64_t value);

// A whole packet: `key`, its size field and `payload`.
std::vector<std::uint8_t> packet_bytes(const char* key, const std::vector<std::uint8_t>& payload);

}  // namespace musepack
