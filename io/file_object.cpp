#include "io/file_object.h"

#include <algorithm>

#include "io/io_exceptions.h"

namespace vantrel_io {

void reader::read_exact(void* buffer, std::uint32_t bytes, const abort_signal& abort) {
  if (read(buffer, bytes, abort) != bytes) throw_io_data();
}

std::uint64_t reader::skip(std::uint64_t bytes, const abort_signal& abort) {
  char scratch[256];
  std::uint64_t done = 0;
  while (done < bytes) {
    const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes - done, sizeof scratch));
    const std::uint32_t got = read(scratch, want, abort);
    done += got;
    if (got < want) break;
  }
  return done;
}

void reader::skip_exact(std::uint64_t bytes, const abort_signal& abort) {
  if (skip(bytes, abort) != bytes) throw_io_data();
}

std::uint64_t file_object::skip(std::uint64_t bytes, const abort_signal& abort) {
  // Short skips are cheaper to read than to seek (and keep read buffers warm).
  if (bytes <= 1024 || !can_seek()) return reader::skip(bytes, abort);
  const std::uint64_t size = get_size(abort);
  if (size == filesize_unknown) return reader::skip(bytes, abort);
  const std::uint64_t position = get_position(abort);
  const std::uint64_t remaining = position < size ? size - position : 0;
  const std::uint64_t skipped = std::min(bytes, remaining);
  seek(position + skipped, abort);
  return skipped;
}

void file_object::seek_from_origin(std::int64_t offset, std::uint32_t origin, const abort_signal& abort) {
  // Offsets wrap as unsigned arithmetic: a position before the start becomes
  // a huge one, which the seek refuses as out of range.
  const std::uint64_t delta = static_cast<std::uint64_t>(offset);
  switch (origin) {
    case 0:
      seek(delta, abort);
      return;
    case 1:
      seek(get_position(abort) + delta, abort);
      return;
    case 2: {
      const std::uint64_t size = get_size(abort);
      if (size == filesize_unknown) throw_exception_io_no_length();
      seek(size + delta, abort);
      return;
    }
    default:
      throw_io_data();
  }
}

file_stats file_object::get_stats(const abort_signal& abort) {
  file_stats stats;
  stats.size = get_size(abort);
  stats.timestamp = get_timestamp(abort);
  return stats;
}

std::uint64_t file_object::get_remaining(const abort_signal& abort) {
  const std::uint64_t size = get_size(abort);
  if (size == filesize_unknown) throw_exception_io_no_length();
  const std::uint64_t position = get_position(abort);
  qiv::dynamic_assert(position <= size);
  return size - position;
}

bool file_object::is_at_end(const abort_signal& abort) {
  const std::uint64_t size = get_size(abort);
  if (size == filesize_unknown) return false;
  return get_position(abort) >= size;
}

void file_object::truncate_if_larger(std::uint64_t size, const abort_signal& abort) {
  const std::uint64_t current = get_size(abort);
  if (current == filesize_unknown || current > size) resize(size, abort);
}

}  // namespace vantrel_io
