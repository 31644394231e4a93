#include "inputs/matroska/ebml_vint.h"

#include "io/io_exceptions.h"

namespace Matroska {

namespace {

// The all-ones value of `length` bytes is reserved: no value may use it.
bool fits(std::uint64_t value, unsigned length) {
  return value < (std::uint64_t{1} << (7 * length)) - 1;
}

void put(std::uint64_t value, unsigned length, std::uint8_t* buffer) {
  value |= std::uint64_t{1} << (7 * length);
  for (unsigned i = length; i-- > 0;) {
    buffer[i] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

unsigned ebml_encode_vint(std::uint64_t value, std::uint8_t* buffer) {
  for (unsigned length = 1; length <= ebml_max_vint_length; ++length) {
    if (fits(value, length)) {
      put(value, length, buffer);
      return length;
    }
  }
  vantrel_io::throw_io_data();
}

bool ebml_encode_vint_fixed(std::uint64_t value, unsigned length, std::uint8_t* buffer) {
  if (length < 1 || length > ebml_max_vint_length || !fits(value, length)) return false;
  put(value, length, buffer);
  return true;
}

void ebml_write_vint(ebml_writer& writer, std::uint64_t value) {
  std::uint8_t buffer[ebml_max_vint_length];
  writer.write(buffer, ebml_encode_vint(value, buffer));
}

void ebml_write_uint_element(ebml_writer& writer, std::uint32_t id, std::uint64_t value) {
  std::uint8_t bytes[8];
  unsigned length = 1;
  while (length < 8 && (value >> (8 * length)) != 0) ++length;
  for (unsigned i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * (length - 1 - i)));
  ebml_write_vint(writer, id);
  ebml_write_vint(writer, length);
  writer.write(bytes, length);
}

}  // namespace Matroska
