#include "metadata/tags/riff_tail.h"

#include "io/file_copy.h"
#include "io/io_exceptions.h"
#include "io/temp_schemes.h"
#include "metadata/tags/riff_chunks.h"

namespace riff_chunks {

namespace {

// Where the tail starts: behind the last chunk's pad byte, unless that byte
// is not zero while something stands behind it. Then the chunk went without
// its pad, whether the RIFF size counts the pad or not, and that byte (an
// appended ID3v1 tag's "T") is the tail's first.
std::uint64_t tail_start(vantrel_io::file_object& file, std::uint64_t total, std::uint64_t data_end,
                         std::uint64_t file_size, const abort_signal& abort) {
  const std::uint64_t end = riff_end(total);
  if (!(data_end & 1) || data_end + 1 != end || file_size <= end) return end;
  std::uint8_t pad = 0;
  file.seek(data_end, abort);
  file.read_exact(&pad, 1, abort);
  return pad == 0 ? end : data_end;
}

}  // namespace

void edit_keeping_tail(vantrel_io::file_object& file, vantrel_io::file_object* original,
                       const std::function<void()>& edit, const abort_signal& abort) {
  // Whatever the edit refuses is refused before the tail is set aside.
  const std::uint64_t data_end = check_tree(file, abort);
  const std::uint64_t total = read_riff_header(file, true, abort);
  const std::uint64_t file_size = file.get_size(abort);
  const std::uint64_t start = tail_start(file, total, data_end, file_size, abort);
  if (start >= file_size) {
    edit();
    return;
  }
  const std::uint64_t length = file_size - start;
  vantrel_io::file_ptr set_aside;
  if (original == nullptr) {
    vantrel_io::open_temp_memory(set_aside, abort);
    file.seek(start, abort);
    vantrel_io::copy_bytes(file, *set_aside, length, abort);
  }
  file.resize(start, abort);
  if (start & 1) {
    // The edit walks the chunks to the RIFF's end, pad byte included.
    const std::uint8_t pad = 0;
    file.seek(start, abort);
    file.write(&pad, 1, abort);
  }
  edit();
  const std::uint64_t end = riff_end(read_riff_header(file, true, abort));
  if (file.get_size(abort) != end) vantrel_io::throw_io_data();
  // An edit that leaves the last chunk ending where it did leaves the tail
  // where it stood too, a pad byte its writer left out still left out: the
  // file keeps its size, as a change made in place must.
  std::uint64_t tail_at = end;
  if (start != end && end == riff_end(total) && check_tree(file, abort) == data_end) tail_at = start;
  if (tail_at != end) file.resize(tail_at, abort);
  file.seek(tail_at, abort);
  vantrel_io::file_object& tail = original ? *original : *set_aside;
  tail.seek(original ? start : 0, abort);
  vantrel_io::copy_bytes(tail, file, length, abort);
}

}  // namespace riff_chunks
