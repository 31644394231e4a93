#include "inputs/matroska/ebml_values.h"

#include <algorithm>
#include <cstring>

#include "foundation/utf8.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

// Texts share the byte-string limit: no name or title needs megabytes.
std::string read_text_bytes(ebml_reader& reader, std::uint64_t size) {
  if (size > ebml_max_binary_size) vantrel_io::throw_io_data();
  reader.check_available(size);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (size) reader.read(text.data(), static_cast<std::uint32_t>(size));
  return text;
}

// Cuts the text at its first NUL; anything but NULs after it is an error.
void cut_at_nul(std::string& text) {
  const auto nul = text.find('\0');
  if (nul == std::string::npos) return;
  if (std::any_of(text.begin() + nul, text.end(), [](char c) { return c != '\0'; })) vantrel_io::throw_io_data();
  text.resize(nul);
}

}  // namespace

std::uint64_t ebml_read_uint(ebml_reader& reader, std::uint64_t size) {
  if (size == 0 || size > 8) vantrel_io::throw_io_data();
  std::uint8_t bytes[8];
  reader.read(bytes, static_cast<std::uint32_t>(size));
  std::uint64_t value = 0;
  for (std::uint64_t i = 0; i < size; ++i) value = (value << 8) | bytes[i];
  return value;
}

std::int64_t ebml_read_int(ebml_reader& reader, std::uint64_t size) {
  const std::uint64_t value = ebml_read_uint(reader, size);
  const unsigned unused = 64 - 8 * static_cast<unsigned>(size);
  // Sign-extends from the element's top bit.
  return unused == 0 ? static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value << unused) >> unused;
}

std::uint32_t ebml_read_uint32(ebml_reader& reader, std::uint64_t size) {
  const std::uint64_t value = ebml_read_uint(reader, size);
  if (value > 0xFFFFFFFFu) vantrel_io::throw_io_data();
  return static_cast<std::uint32_t>(value);
}

std::uint64_t ebml_read_uint_nonzero(ebml_reader& reader, std::uint64_t size) {
  const std::uint64_t value = ebml_read_uint(reader, size);
  if (value == 0) vantrel_io::throw_io_data();
  return value;
}

bool ebml_read_bool(ebml_reader& reader, std::uint64_t size) { return ebml_read_uint(reader, size) != 0; }

double ebml_read_float(ebml_reader& reader, std::uint64_t size) {
  if (size != 4 && size != 8) vantrel_io::throw_io_data();
  std::uint8_t bytes[8];
  reader.read(bytes, static_cast<std::uint32_t>(size));
  std::uint64_t bits = 0;
  for (std::uint64_t i = 0; i < size; ++i) bits = (bits << 8) | bytes[i];
  if (size == 4) {
    const auto narrow = static_cast<std::uint32_t>(bits);
    float value;
    std::memcpy(&value, &narrow, 4);
    return value;
  }
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

std::string ebml_read_ascii(ebml_reader& reader, std::uint64_t size) {
  std::string text = read_text_bytes(reader, size);
  cut_at_nul(text);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) vantrel_io::throw_io_data();
  }
  return text;
}

std::string ebml_read_utf8(ebml_reader& reader, std::uint64_t size) {
  std::string text = read_text_bytes(reader, size);
  cut_at_nul(text);
  if (!qiv::is_valid_utf8(text.data(), text.size())) vantrel_io::throw_io_data();
  return text;
}

std::vector<std::uint8_t> ebml_read_binary(ebml_reader& reader, std::uint64_t size) {
  if (size > ebml_max_binary_size) vantrel_io::throw_io_data();
  reader.check_available(size);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size) reader.read(bytes.data(), static_cast<std::uint32_t>(size));
  return bytes;
}

}  // namespace Matroska
