#include "io/in_place_overwrite.h"

#include <vector>

#include "foundation/byte_scan.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size,
                             const abort_signal& abort) {
  if (size == 0) return false;
  const std::uint64_t file_size = file.get_size(abort);
  if (file_size == filesize_unknown) throw_exception_io_no_length();
  if (offset > file_size || size > file_size - offset || size > 0xFFFFFFFFu) throw_io_data();
  std::vector<std::uint8_t> old(size);
  file.seek(offset, abort);
  file.read_exact(old.data(), std::uint32_t(size), abort);
  return overwrite_changed_bytes(file, offset, old.data(), bytes, size, abort);
}

bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* old, const std::uint8_t* bytes,
                             std::size_t size, const abort_signal& abort) {
  if (size == 0) return false;
  const std::size_t first = qiv::first_difference(old, bytes, size);
  if (first == size) return false;
  const std::size_t end = first + qiv::last_difference_end(old + first, bytes + first, size - first);
  abort.check_and_throw();
  const abort_signal& no_abort = never_raised_abort_signal();
  file.seek(offset + first, no_abort);
  file.write(bytes + first, std::uint32_t(end - first), no_abort);
  return true;
}

}  // namespace vantrel_io
