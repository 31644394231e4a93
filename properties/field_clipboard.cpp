#include "properties/field_clipboard.h"

#include <atomic>

#include "foundation/clipboard_text.h"
#include "foundation/win32_error.h"
#include "io/io_exceptions.h"
#include "io/memory_reader.h"
#include "metadata/track_info.h"

namespace {

void put_u32(std::string& out, std::size_t value) {
  const std::uint32_t v = std::uint32_t(value);
  const char bytes[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
  out.append(bytes, 4);
}

void put_text(std::string& out, const std::string& text) {
  put_u32(out, text.size());
  out += text;
}

std::uint32_t get_u32(vantrel_io::memory_reader& reader) {
  std::uint8_t bytes[4];
  reader.read(bytes, 4);
  return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
         std::uint32_t(bytes[3]) << 24;
}

// The length is checked against what the block holds before anything is
// allocated for it.
std::string get_text(vantrel_io::memory_reader& reader) {
  const std::uint32_t length = get_u32(reader);
  if (length > reader.remaining()) reader.throw_data_error();
  std::string text(reinterpret_cast<const char*>(reader.position_pointer()), length);
  reader.skip(length);
  return text;
}

edited_field_ptr get_field(vantrel_io::memory_reader& reader) {
  const std::uint32_t track_count = get_u32(reader);
  auto field = std::make_shared<edited_field>(get_text(reader), track_count);
  // Every track entry takes at least its count: a claimed N the block
  // cannot hold is refused before the loop runs through it.
  if (track_count > reader.remaining() / 4) reader.throw_data_error();
  for (std::uint32_t track = 0; track < track_count; ++track) {
    const std::uint32_t value_count = get_u32(reader);
    if (value_count > reader.remaining() / 4) reader.throw_data_error();
    if (value_count == 0) continue;
    value_list values;
    values.reserve(value_count);
    for (std::uint32_t v = 0; v < value_count; ++v) values.push_back(get_text(reader));
    field->set_values(track, std::move(values));
  }
  return field;
}

}  // namespace

UINT field_clipboard_format() {
  static std::atomic<UINT> format{0};
  UINT known = format.load();
  if (known != 0) return known;
  known = RegisterClipboardFormatW(L"{9E67E09D-115C-43d1-8359-6A4B0C1DAFE4}");
  if (known == 0) throw exception_win32(GetLastError());
  format.store(known);
  return known;
}

std::string serialize_fields(const edited_field_list& fields) {
  std::string block;
  put_u32(block, fields.size());
  for (const edited_field_ptr& field : fields) {
    put_u32(block, field->track_count);
    put_text(block, field->name);
    for (std::uint32_t track = 0; track < field->track_count; ++track) {
      const value_list& values = field->values(track);
      put_u32(block, values.size());
      for (const std::string& value : values) put_text(block, value);
    }
  }
  return block;
}

bool parse_fields(const void* block, std::size_t size, edited_field_list& out) {
  out.clear();
  if (size > 0xFFFFFFFFu) return false;
  vantrel_io::memory_reader reader(block, std::uint32_t(size));
  edited_field_list fields;
  try {
    const std::uint32_t field_count = get_u32(reader);
    for (std::uint32_t i = 0; i < field_count; ++i) {
      edited_field_ptr field = get_field(reader);
      if (track_info::is_valid_field_name(field->name.c_str()) && field->name.find('\0') == std::string::npos)
        fields.push_back(std::move(field));
    }
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
  out = std::move(fields);
  return true;
}

void write_field_clipboard(const edited_field_list& fields) {
  const std::string block = serialize_fields(fields);
  clipboard_set_data(field_clipboard_format(), block.data(), block.size());
}

bool read_field_clipboard(edited_field_list& out) {
  out.clear();
  HANDLE data = GetClipboardData(field_clipboard_format());
  if (data == nullptr) return false;
  const void* block = GlobalLock(data);
  if (block == nullptr) return false;
  // The whole block, which may be larger than what was written.
  const std::string copy(static_cast<const char*>(block), GlobalSize(data));
  GlobalUnlock(data);
  return parse_fields(copy.data(), copy.size(), out);
}
