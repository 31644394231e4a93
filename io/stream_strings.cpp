#include "io/stream_strings.h"

#include "core/byte_stream.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"

namespace vantrel_io::stream {

namespace {

constexpr std::uint32_t read_all_piece = 256;

// A reader of the file layer as the byte stream of the core, so that texts
// are read by the one text reader the configuration records use. Its size
// is unknown: the reader may be a stream.
class reader_byte_stream final : public byte_stream_reader {
public:
  explicit reader_byte_stream(reader& source) noexcept : source_(source) {}
  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    return source_.read(buffer, bytes, abort);
  }
  std::uint64_t remaining() const override { return byte_stream_size_unknown; }
  [[noreturn]] void throw_data_error() const override { throw_io_data(); }

private:
  reader& source_;
};

}  // namespace

void read_string(reader& source, std::uint32_t bytes, const abort_signal& abort, qiv::string_object& out) {
  reader_byte_stream(source).read_text(bytes, out, abort);
}

void read_length_prefixed_string(reader& source, const abort_signal& abort, qiv::string_object& out) {
  reader_byte_stream(source).read_length_prefixed_string(out, abort);
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
