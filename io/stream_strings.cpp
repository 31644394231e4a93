#include "io/stream_strings.h"

#include <algorithm>
#include <cstring>

#include "foundation/array.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"

namespace vantrel_io::stream {

namespace {

constexpr std::uint32_t read_in_one_step = 65536;
constexpr std::uint32_t read_all_piece = 256;

}  // namespace

void read_string(reader& source, std::uint32_t bytes, const abort_signal& abort, qiv::string_object& out) {
  if (bytes <= read_in_one_step) {
    char* buffer = out.lock_buffer(bytes);
    if (buffer == nullptr) qiv::throw_bad_alloc();
    try {
      source.read_exact(buffer, bytes, abort);
    } catch (...) {
      out.unlock_buffer();
      out.set_string("");
      throw;
    }
    out.unlock_buffer();
    return;
  }
  qiv::array<char> block;
  std::uint32_t done = 0;
  std::uint32_t target = read_in_one_step;
  for (;;) {
    block.set_size(target);
    source.read_exact(block.data() + done, target - done, abort);
    done = target;
    if (done == bytes) break;
    target = target > bytes / 2 ? bytes : target * 2;
  }
  out.set_string(block.data(), bytes);
}

void read_length_prefixed_string(reader& source, const abort_signal& abort, qiv::string_object& out) {
  std::uint8_t prefix[4];
  source.read_exact(prefix, sizeof prefix, abort);
  const std::uint32_t bytes = std::uint32_t(prefix[0]) | (std::uint32_t(prefix[1]) << 8) |
                              (std::uint32_t(prefix[2]) << 16) | (std::uint32_t(prefix[3]) << 24);
  read_string(source, bytes, abort, out);
}

void read_all_to_string(reader& source, const abort_signal& abort, qiv::string_object& out) {
  out.set_string("");
  char piece[read_all_piece];
  for (;;) {
    const std::uint32_t got = source.read(piece, read_all_piece, abort);
    out.add_string(piece, got);
    if (got < read_all_piece) return;
  }
}

qiv::refcounted_string_ref read_counted_string(reader& source, std::uint32_t bytes, const abort_signal& abort) {
  qiv::string_buffer text;
  read_string(source, bytes, abort, text);
  qiv::refcounted_string_ref result;
  qiv::refcounted_string::from_text(result, text.get_ptr(), text.get_length());
  return result;
}

}  // namespace vantrel_io::stream
