// Builds EBML bytes for tests, written independently of the code under test:
// elements from their standard IDs, sizes in the shortest or a chosen length,
// and a memory file to read them from.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/abort_signal.h"
#include "io/memory_file.h"

namespace ebml_test {

inline std::string id_bytes(std::uint32_t id) {
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if ((id >> shift) || !out.empty()) out += char(id >> shift);
  }
  return out.empty() ? std::string(1, '\0') : out;
}

// `length` 0: the shortest form.
inline std::string size_bytes(std::uint64_t size, unsigned length = 0) {
  if (!length) {
    length = 1;
    while (size >= (std::uint64_t{1} << (7 * length)) - 1) ++length;
  }
  std::uint64_t value = size | (std::uint64_t{1} << (7 * length));
  std::string out(length, '\0');
  for (unsigned i = length; i-- > 0; value >>= 8) out[i] = char(value);
  return out;
}

inline std::string el(std::uint32_t id, const std::string& content, unsigned size_length = 0) {
  return id_bytes(id) + size_bytes(content.size(), size_length) + content;
}

inline std::string cat(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& part : parts) out += part;
  return out;
}

inline std::string be(std::uint64_t value, unsigned bytes) {
  std::string out(bytes, '\0');
  for (unsigned i = bytes; i-- > 0; value >>= 8) out[i] = char(value);
  return out;
}

inline std::string uint_el(std::uint32_t id, std::uint64_t value, unsigned bytes = 1) { return el(id, be(value, bytes)); }

inline std::string double_el(std::uint32_t id, double value) {
  std::uint64_t bits;
  static_assert(sizeof bits == sizeof value);
  __builtin_memcpy(&bits, &value, 8);
  return el(id, be(bits, 8));
}

inline vantrel_io::file_ptr memory_file(const std::string& bytes) {
  auto file = vantrel_io::make_memory_file();
  file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), never_raised_abort_signal());
  return file;
}

inline std::string file_bytes(vantrel_io::file_object& file) {
  const auto& abort = never_raised_abort_signal();
  std::string out(static_cast<std::size_t>(file.get_size(abort)), '\0');
  file.seek(0, abort);
  if (!out.empty()) file.read_exact(out.data(), static_cast<std::uint32_t>(out.size()), abort);
  return out;
}

}  // namespace ebml_test
