#include "io/stream_fields.h"

#include <cstring>

#include "foundation/byte_order.h"

namespace vantrel_io {

using qiv::load_le;
using qiv::store_le;

stream_writer& stream_writer::write_u32(std::uint32_t value) {
  std::uint8_t bytes[4];
  store_le(bytes, value, 4);
  target_.write(bytes, 4, abort_);
  return *this;
}

stream_writer& stream_writer::write_string(const qiv::string_object& text) {
  const char* bytes = text.get_ptr();
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(bytes));
  write_u32(length);
  if (length != 0) target_.write(bytes, length, abort_);
  return *this;
}

stream_writer& stream_writer::write_guid(const GUID& guid) {
  std::uint8_t bytes[4];
  store_le(bytes, guid.Data1, 4);
  target_.write(bytes, 4, abort_);
  store_le(bytes, guid.Data2, 2);
  target_.write(bytes, 2, abort_);
  store_le(bytes, guid.Data3, 2);
  target_.write(bytes, 2, abort_);
  target_.write(guid.Data4, 8, abort_);
  return *this;
}

stream_reader& stream_reader::read_u32(std::uint32_t& value) {
  std::uint8_t bytes[4];
  source_.read_exact(bytes, 4, abort_);
  value = load_le(bytes, 4);
  return *this;
}

stream_reader& stream_reader::read_guid(GUID& guid) {
  std::uint8_t bytes[4];
  source_.read_exact(bytes, 4, abort_);
  guid.Data1 = load_le(bytes, 4);
  source_.read_exact(bytes, 2, abort_);
  guid.Data2 = static_cast<std::uint16_t>(load_le(bytes, 2));
  source_.read_exact(bytes, 2, abort_);
  guid.Data3 = static_cast<std::uint16_t>(load_le(bytes, 2));
  source_.read_exact(guid.Data4, 8, abort_);
  return *this;
}

}  // namespace vantrel_io
