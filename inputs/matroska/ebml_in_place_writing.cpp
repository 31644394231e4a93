#include "inputs/matroska/ebml_in_place_writing.h"

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

constexpr std::uint8_t void_id_byte = 0xEC;
// From this total on, a Void's size takes the 8-byte form.
constexpr std::uint64_t long_void_total = 9;

struct element_header {
  std::uint32_t id;
  std::uint64_t start, content_start, size;
  std::uint64_t end() const { return content_start + size; }
};

element_header read_header_at(ebml_reader& reader, std::uint64_t position) {
  reader.seek(position);
  element_header header;
  header.start = position;
  header.id = ebml_read_id(reader);
  header.size = ebml_read_size(reader);
  header.content_start = reader.position();
  if (header.size == ebml_unknown_size || header.size > ~std::uint64_t{0} - header.content_start) {
    vantrel_io::throw_io_data();
  }
  return header;
}

std::vector<std::uint8_t> element_head(std::uint32_t id, std::uint32_t size) {
  ebml_memory_writer head;
  ebml_write_vint(head, id);
  ebml_write_vint(head, size);
  return head.bytes();
}

// The element and the Void header after it go out in one write: a process
// killed between two writes would leave bytes that no longer parse.
void write_element_with_void_after(ebml_reader& writer, std::uint64_t position, const std::vector<std::uint8_t>& head,
                   const void* data, std::uint32_t size, std::uint64_t void_total) {
  std::vector<std::uint8_t> bytes = head;
  if (size) bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
  const std::vector<std::uint8_t> void_head = ebml_void_head(void_total);
  bytes.insert(bytes.end(), void_head.begin(), void_head.end());
  writer.seek(position);
  writer.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// Where the size field of the element at `position` starts.
std::uint64_t size_field_start(ebml_reader& reader, std::uint64_t position) {
  reader.seek(position);
  ebml_read_id(reader);
  return reader.position();
}

}  // namespace

bool ebml_rewrite_size(ebml_reader& writer, std::uint64_t position, std::uint32_t expected_id,
                       std::uint64_t new_size) {
  writer.seek(position);
  if (ebml_read_id(writer) != expected_id) vantrel_io::throw_io_data();
  const std::uint64_t size_position = writer.position();
  std::uint8_t first;
  writer.read(&first, 1);
  const unsigned length = ebml_vint_length(first);
  if (length == 0) vantrel_io::throw_io_data();
  std::uint8_t field[ebml_max_vint_length];
  if (!ebml_encode_vint_fixed(new_size, length, field)) return false;
  writer.seek(size_position);
  writer.write(field, length);
  return true;
}

void ebml_write_void(ebml_reader& writer, std::uint64_t position, std::uint64_t total) {
  if (total == 0) return;
  const std::vector<std::uint8_t> head = ebml_void_head(total);
  writer.seek(position);
  writer.write(head.data(), static_cast<std::uint32_t>(head.size()));
}

std::vector<std::uint8_t> ebml_void_head(std::uint64_t total) {
  if (total == 0) return {};
  if (total == 1) vantrel_io::throw_io_data();
  std::vector<std::uint8_t> head(1, void_id_byte);
  if (total < long_void_total) {
    head.push_back(static_cast<std::uint8_t>(0x80 | (total - 2)));
  } else {
    head.resize(1 + ebml_max_vint_length);
    ebml_encode_vint_fixed(total - long_void_total, ebml_max_vint_length, head.data() + 1);
  }
  return head;
}

std::uint64_t ebml_span_with_voids(ebml_reader& reader, std::uint64_t position, std::uint32_t id,
                                   std::uint64_t limit) {
  const element_header element = read_header_at(reader, position);
  if (element.id != id || element.end() > limit) vantrel_io::throw_io_data();
  std::uint64_t end = element.end();
  while (end < limit) {
    const element_header next = read_header_at(reader, end);
    if (next.id != ids::void_element || next.end() > limit) break;
    end = next.end();
  }
  return end - position;
}

void ebml_void_out(ebml_reader& writer, std::uint64_t position, std::uint32_t id, std::uint64_t limit) {
  ebml_write_void(writer, position, ebml_span_with_voids(writer, position, id, limit));
}

bool ebml_write_into_gap(ebml_reader& writer, std::uint64_t position, std::uint64_t gap, std::uint32_t id,
                         const void* data, std::uint32_t size) {
  const std::vector<std::uint8_t> head = element_head(id, size);
  const std::uint64_t total = head.size() + std::uint64_t{size};
  if (total > gap || !ebml_gap_fillable(gap - total)) return false;
  write_element_with_void_after(writer, position, head, data, size, gap - total);
  return true;
}

bool ebml_place_in_void(ebml_reader& writer, std::uint64_t position, std::uint64_t size, const void* data,
                        std::uint32_t length, std::uint64_t& placed_at) {
  const std::uint64_t end = position + size;
  std::uint64_t run_start = position;
  for (std::uint64_t at = position; at < end;) {
    const element_header child = read_header_at(writer, at);
    if (child.end() > end) vantrel_io::throw_io_data();
    at = child.end();
    if (child.id != ids::void_element) {
      run_start = at;
    } else if (ebml_write_into_gap(writer, run_start, at - run_start, ids::seek, data, length)) {
      placed_at = run_start;
      return true;
    }
  }
  return false;
}

bool ebml_append_child(ebml_reader& writer, std::uint64_t position, const void* data, std::uint32_t length,
                       std::uint64_t limit) {
  const std::vector<std::uint8_t> head = element_head(ids::seek, length);
  const std::uint64_t total = head.size() + std::uint64_t{length};

  const element_header master = read_header_at(writer, position);
  if (master.end() > limit) vantrel_io::throw_io_data();
  std::uint64_t last_end = master.content_start;
  for (std::uint64_t at = master.content_start; at < master.end();) {
    const element_header child = read_header_at(writer, at);
    if (child.end() > master.end()) vantrel_io::throw_io_data();
    at = child.end();
    if (child.id != ids::void_element) last_end = at;
  }

  std::uint64_t end = master.end();
  while (end - last_end < total || end - last_end - total == 1) {
    if (end >= limit) return false;
    const element_header next = read_header_at(writer, end);
    if (next.id != ids::void_element || next.end() > limit) return false;
    end = next.end();
  }

  // The size field's room is checked before anything is written; the entry
  // goes in before the size grows over it, so each step leaves a file that
  // reads.
  std::uint8_t field[ebml_max_vint_length];
  if (!ebml_encode_vint_fixed(last_end - master.content_start + total, master.content_start - size_field_start(writer, position), field))
    return false;
  write_element_with_void_after(writer, last_end, head, data, length, end - last_end - total);
  return ebml_rewrite_size(writer, position, master.id, last_end - master.content_start + total);
}

bool ebml_seekhead_add_entry(ebml_reader& writer, std::uint64_t position, const void* data, std::uint32_t length,
                             std::uint64_t limit) {
  const element_header seekhead = read_header_at(writer, position);
  if (seekhead.id != ids::seek_head) vantrel_io::throw_io_data();
  std::uint64_t placed_at;
  if (ebml_place_in_void(writer, seekhead.content_start, seekhead.size, data, length, placed_at)) return true;
  return ebml_append_child(writer, position, data, length, limit);
}

}  // namespace Matroska
