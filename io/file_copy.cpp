#include "io/file_copy.h"

#include <algorithm>
#include <memory>
#include <new>

#include "foundation/exceptions.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

constexpr std::uint32_t largest_copy_buffer = 8 * 1024 * 1024;
constexpr std::uint32_t smallest_copy_buffer = 256;
// Shorter copies are cheap enough to grow the destination write by write.
constexpr std::uint64_t preallocate_above = 1024;

// A large buffer makes few large transfers; in a fragmented 32-bit address
// space a smaller one is still better than failing the copy.
std::unique_ptr<char[]> allocate_copy_buffer(std::uint32_t& size) {
  for (;;) {
    if (std::unique_ptr<char[]> buffer{new (std::nothrow) char[size]}) return buffer;
    if (size < 2 * smallest_copy_buffer) qiv::throw_bad_alloc();
    size /= 2;
  }
}

}  // namespace

std::uint64_t copy_stream(reader& source, writer& destination, std::uint64_t bytes, const abort_signal& abort) {
  if (bytes == 0) return 0;
  std::uint32_t buffer_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, largest_copy_buffer));
  const std::unique_ptr<char[]> buffer = allocate_copy_buffer(buffer_size);
  std::uint64_t done = 0;
  while (done < bytes) {
    abort.check_and_throw();
    const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes - done, buffer_size));
    const std::uint32_t got = source.read(buffer.get(), want, abort);
    if (got == 0) break;
    destination.write(buffer.get(), got, abort);
    done += got;
  }
  return done;
}

void copy_exact(reader& source, writer& destination, std::uint64_t bytes, const abort_signal& abort) {
  if (copy_stream(source, destination, bytes, abort) != bytes) throw_io_data();
}

void copy_bytes(file_object& source, file_object& destination, std::uint64_t bytes, const abort_signal& abort) {
  if (bytes > preallocate_above) {
    const std::uint64_t size = destination.get_size(abort);
    if (size != filesize_unknown) {
      const std::uint64_t end = destination.get_position(abort) + bytes;
      if (size < end) destination.resize(end, abort);
    }
  }
  copy_exact(source, destination, bytes, abort);
}

void copy_whole_file(file_object& source, file_object& destination, const abort_signal& abort) {
  const std::uint64_t size = source.get_size(abort);
  if (size == filesize_unknown) throw_exception_io_no_length();
  const std::uint64_t old_size = destination.get_size(abort);
  source.seek(0, abort);
  destination.seek(0, abort);
  abort.check_and_throw();
  const abort_signal& no_abort = never_raised_abort_signal();
  // A destination that must grow takes its new size before its first byte
  // changes: a full disk then fails the copy with the destination whole,
  // where running out of room halfway would leave it half new, half old.
  const bool grows = old_size != filesize_unknown && size > old_size;
  if (grows) destination.resize(size, no_abort);
  try {
    if (size != 0) copy_exact(source, destination, size, no_abort);
  } catch (...) {
    // A source that failed before the first write left the destination
    // only grown: it gets its old size back.
    try {
      if (grows && destination.get_position(no_abort) == 0) destination.resize(old_size, no_abort);
    } catch (const std::exception&) {
    }
    throw;
  }
  destination.truncate_if_larger(size, no_abort);
}

std::vector<std::uint8_t> read_range(file_object& file, std::uint64_t offset, std::uint64_t length,
                                     const abort_signal& abort) {
  if (length > 0xFFFFFFFFull) throw_io_data();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  file.seek(offset, abort);
  if (length) file.read_exact(bytes.data(), static_cast<std::uint32_t>(length), abort);
  return bytes;
}

}  // namespace vantrel_io
