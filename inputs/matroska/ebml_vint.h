// Encoding EBML variable-length integers: element sizes, and element IDs in
// the marker-less form the reader returns (0x6C comes out as 0xEC).
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

// The longest encoding: 8 bytes, 56 value bits.
inline constexpr unsigned ebml_max_vint_length = 8;

// The shortest encoding into `buffer` (8 bytes); answers its length. A value
// whose bits would all be ones at a length takes the next length, since
// readers take that pattern as "unknown size". Values beyond 8 bytes are
// exception_io_data.
unsigned ebml_encode_vint(std::uint64_t value, std::uint8_t* buffer);
// Exactly `length` bytes (1 to 8); false when the value needs more.
bool ebml_encode_vint_fixed(std::uint64_t value, unsigned length, std::uint8_t* buffer);
void ebml_write_vint(ebml_writer& writer, std::uint64_t value);
// An unsigned-integer element in the fewest big-endian bytes (0 is one byte).
void ebml_write_uint_element(ebml_writer& writer, std::uint32_t id, std::uint64_t value);

// Element headers and contents built in memory before one write to the file.
class ebml_memory_writer final : public ebml_writer {
public:
  void write(const void* buffer, std::uint32_t count) override {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    bytes_.insert(bytes_.end(), bytes, bytes + count);
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace Matroska
