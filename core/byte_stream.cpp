#include "core/byte_stream.h"

#include <cstring>

#include "foundation/byte_order.h"

#include "foundation/array.h"
#include "foundation/string_buffer.h"

namespace {

// Texts up to this length are read in one step; longer ones grow by doubling.
constexpr std::uint32_t first_text_step = 65536;

using qiv::load_le;
using qiv::store_le;

}  // namespace

void byte_stream_reader::read_exact(void* buffer, std::uint32_t bytes, const abort_signal& abort) {
  if (read(buffer, bytes, abort) != bytes) throw_data_error();
}

std::uint32_t byte_stream_reader::read_u32(const abort_signal& abort) {
  std::uint8_t bytes[4];
  read_exact(bytes, 4, abort);
  return load_le(bytes, 4);
}

GUID byte_stream_reader::read_guid(const abort_signal& abort) {
  std::uint8_t bytes[16];
  read_exact(bytes, 16, abort);
  GUID guid;
  guid.Data1 = load_le(bytes, 4);
  guid.Data2 = static_cast<std::uint16_t>(load_le(bytes + 4, 2));
  guid.Data3 = static_cast<std::uint16_t>(load_le(bytes + 6, 2));
  std::memcpy(guid.Data4, bytes + 8, 8);
  return guid;
}

void byte_stream_reader::require_remaining(std::uint64_t bytes) const {
  const std::uint64_t left = remaining();
  if (left != byte_stream_size_unknown && bytes > left) throw_data_error();
}

void byte_stream_reader::read_text(std::uint32_t length, qiv::string_object& out, const abort_signal& abort) {
  require_remaining(length);
  if (length <= first_text_step) {
    char* buffer = out.lock_buffer(length);
    if (buffer == nullptr) throw_data_error();  // a fixed-size text too small for it
    try {
      read_exact(buffer, length, abort);
    } catch (...) {
      out.unlock_buffer();
      out.set_string("");
      throw;
    }
    out.unlock_buffer();
    return;
  }
  qiv::array<char> scratch;
  std::uint32_t filled = 0;
  std::uint32_t step_end = first_text_step;
  while (filled < length) {
    scratch.resize_doubling(step_end);
    read_exact(scratch.data() + filled, step_end - filled, abort);
    filled = step_end;
    step_end = step_end > length / 2 ? length : step_end * 2;
  }
  out.set_string(scratch.data(), length);
}

void byte_stream_reader::read_length_prefixed_string(qiv::string_object& out, const abort_signal& abort) {
  read_text(read_u32(abort), out, abort);
}

void byte_stream_reader::read_to_end(qiv::string_object& out, const abort_signal& abort) {
  qiv::string_buffer text;
  char chunk[4096];
  for (;;) {
    const std::uint32_t got = read(chunk, sizeof(chunk), abort);
    if (got == 0) break;
    text.append_n(chunk, got);
  }
  out.set_string(text.get_ptr(), text.get_length());
}

void byte_stream_writer::write_u32(std::uint32_t value, const abort_signal& abort) {
  std::uint8_t bytes[4];
  store_le(bytes, value, 4);
  write(bytes, 4, abort);
}

void byte_stream_writer::write_guid(const GUID& guid, const abort_signal& abort) {
  std::uint8_t bytes[16];
  store_le(bytes, guid.Data1, 4);
  store_le(bytes + 4, guid.Data2, 2);
  store_le(bytes + 6, guid.Data3, 2);
  std::memcpy(bytes + 8, guid.Data4, 8);
  write(bytes, 16, abort);
}

void byte_stream_writer::write_length_prefixed_string(const char* text, const abort_signal& abort) {
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(text));
  write_u32(length, abort);
  if (length != 0) write(text, length, abort);
}
