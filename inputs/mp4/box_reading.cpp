#include "inputs/mp4/box_reading.h"

#include <new>

#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

std::uint32_t checked_array_bytes(stream& in, std::uint64_t count, std::uint32_t entry_bytes) {
  if (count > 0xFFFFFFFFu / entry_bytes) throw exception_truncation();
  const std::uint64_t bytes = count * entry_bytes;
  in.check_remaining(bytes);
  return static_cast<std::uint32_t>(bytes);
}

std::uint8_t read_u8(stream& in) {
  std::uint8_t value;
  in.read_exact(&value, 1);
  return value;
}

std::uint16_t read_u16(stream& in) {
  std::uint8_t bytes[2];
  in.read_exact(bytes, 2);
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t read_u32(stream& in) {
  std::uint8_t bytes[4];
  in.read_exact(bytes, 4);
  return load_u32(bytes);
}

std::uint64_t read_u64(stream& in) {
  std::uint8_t bytes[8];
  in.read_exact(bytes, 8);
  return (std::uint64_t(load_u32(bytes)) << 32) | load_u32(bytes + 4);
}

void read_u32_array(stream& in, std::uint64_t count, std::vector<std::uint32_t>& out) {
  const std::uint32_t bytes = checked_array_bytes(in, count, 4);
  out.resize(static_cast<std::size_t>(count));
  if (bytes == 0) return;
  in.read_exact(out.data(), bytes);
  for (auto& value : out) value = __builtin_bswap32(value);
}

void read_u32_array_widened(stream& in, std::uint64_t count, std::vector<std::uint64_t>& out) {
  checked_array_bytes(in, count, 4);
  out.resize(static_cast<std::size_t>(count));
  std::uint32_t block[256];
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t n = out.size() - done < 256 ? out.size() - done : 256;
    in.read_exact(block, static_cast<std::uint32_t>(n * 4));
    for (std::size_t i = 0; i < n; ++i) out[done + i] = __builtin_bswap32(block[i]);
    done += n;
  }
}

void read_u64_array(stream& in, std::uint64_t count, std::vector<std::uint64_t>& out) {
  const std::uint32_t bytes = checked_array_bytes(in, count, 8);
  out.resize(static_cast<std::size_t>(count));
  if (bytes == 0) return;
  in.read_exact(out.data(), bytes);
  for (auto& value : out) value = __builtin_bswap64(value);
}

std::uint32_t read_descriptor_length(stream& in) {
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t byte = read_u8(in);
    length = (length << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) break;
  }
  return length;
}

std::string read_sized_text(stream& in, std::uint64_t bytes) {
  in.check_remaining(bytes);
  if (bytes > 0x7FFFFFFFu) throw exception("out of memory");
  std::string text;
  try {
    text.resize(static_cast<std::size_t>(bytes));
  } catch (const std::bad_alloc&) {
    throw exception("out of memory");
  }
  if (bytes != 0) in.read_exact(text.data(), static_cast<std::uint32_t>(bytes));
  return text;
}

}  // namespace tarnex
