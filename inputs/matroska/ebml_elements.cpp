#include "inputs/matroska/ebml_elements.h"

#include <algorithm>
#include <cstring>

#include "foundation/work_steps.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

// The element loop's bookkeeping of element_start, restored on the way out
// whether the handler returns or throws.
class element_start_guard {
public:
  element_start_guard(ebml_element_handler& handler, std::uint64_t start)
      : handler_(handler), saved_(handler.element_start) {
    handler.element_start = start;
  }
  ~element_start_guard() { handler_.element_start = saved_; }
  element_start_guard(const element_start_guard&) = delete;
  element_start_guard& operator=(const element_start_guard&) = delete;

private:
  ebml_element_handler& handler_;
  std::uint64_t saved_;
};

}  // namespace

std::uint32_t ebml_read_id(ebml_reader& reader) {
  unsigned length;
  const std::uint8_t first = read_byte(reader);
  // A first byte of 0 fails in the reading of the rest.
  if (ebml_vint_length(first) > 4) vantrel_io::throw_io_data();
  return static_cast<std::uint32_t>(ebml_read_vint_rest(reader, first, length));
}

std::uint64_t ebml_read_size(ebml_reader& reader) {
  const std::uint8_t first = read_byte(reader);
  if (first == 0xFF) return ebml_unknown_size;
  return ebml_read_size_rest(reader, first);
}

std::uint64_t ebml_read_size_rest(ebml_reader& reader, std::uint8_t first) {
  unsigned length;
  return ebml_read_vint_rest(reader, first, length);
}

unsigned ebml_vint_length(std::uint8_t first) {
  unsigned length = 1;
  for (std::uint8_t marker = 0x80; marker; marker >>= 1, ++length) {
    if (first & marker) return length;
  }
  return 0;
}

std::uint64_t ebml_read_vint_rest(ebml_reader& reader, std::uint8_t first, unsigned& length) {
  length = ebml_vint_length(first);
  if (length == 0) vantrel_io::throw_io_data();
  std::uint64_t value = first & (0xFFu >> length);
  for (unsigned i = 1; i < length; ++i) value = (value << 8) | read_byte(reader);
  return value;
}

void ebml_read_children(ebml_reader& reader, ebml_element_handler& handler) {
  handler.on_begin(reader);
  while (!reader.at_end() && handler.wants_more()) {
    element_start_guard start(handler, reader.position());
    const bool cut_allowed = handler.reads_cut_data();
    // The longest header: a 4-byte ID and an 8-byte size.
    const bool header_may_be_cut = cut_allowed && reader.remaining() < 12;
    std::uint32_t id;
    std::uint64_t size;
    try {
      id = ebml_read_id(reader);
      size = ebml_read_size(reader);
    } catch (const vantrel_io::exception_io_data&) {
      if (!header_may_be_cut) throw;
      reader.skip(reader.remaining());
      break;
    }
    // An unknown size (all ones, in any length from 7 bytes up, or 0xFF) is
    // no cut: it stays refused, as everywhere.
    constexpr std::uint64_t unknown_sizes = (std::uint64_t{1} << 49) - 1;
    const bool cut = cut_allowed && size < unknown_sizes && size > reader.remaining();
    ebml_element_scope scope(reader, cut ? reader.remaining() : size);
    qiv::count_work_steps(1);
    handler.on_element(id, size, reader);
    reader.skip(reader.remaining());
  }
  handler.on_end();
  handler.done = true;
}

void ebml_read_children_once(ebml_reader& reader, ebml_element_handler& handler) {
  if (handler.done) vantrel_io::throw_io_data();
  ebml_read_children(reader, handler);
}

void ebml_read_element(ebml_reader& reader, ebml_element_handler& handler, std::uint32_t expected_id) {
  element_start_guard start(handler, reader.position());
  if (ebml_read_id(reader) != expected_id) vantrel_io::throw_io_data();
  const std::uint64_t size = ebml_read_size(reader);
  ebml_element_scope scope(reader, size);
  ebml_read_children(reader, handler);
  reader.skip(reader.remaining());
}

void ebml_find_header(ebml_reader& reader) {
  reader.seek(0);
  std::uint8_t chunk[1024];
  std::uint64_t chunk_start = 0;
  while (!reader.at_end()) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(sizeof chunk, reader.remaining()));
    reader.read(chunk, count);
    if (const void* found = std::memchr(chunk, 0x1A, count)) {
      reader.seek(chunk_start + (static_cast<const std::uint8_t*>(found) - chunk));
      return;
    }
    chunk_start += count;
  }
  vantrel_io::throw_io_data();
}

}  // namespace Matroska
