#include "io/in_place_overwrite.h"

#include <vector>

#include "foundation/byte_scan.h"
#include "foundation/exceptions.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

struct changed_span {
  std::size_t first;
  std::size_t end;
};

changed_span find_changed_span(const std::uint8_t* old, const std::uint8_t* bytes, std::size_t size) noexcept {
  const std::size_t first = qiv::first_difference(old, bytes, size);
  if (first == size) return {size, size};
  return {first, first + qiv::last_difference_end(old + first, bytes + first, size - first)};
}

// A run that grows changes from its first differing byte to its new end.
changed_span find_changed_span(const std::uint8_t* old, std::size_t old_size, const std::uint8_t* bytes,
                               std::size_t size) noexcept {
  if (size == old_size) return find_changed_span(old, bytes, size);
  return {qiv::first_difference(old, bytes, old_size), size};
}

}  // namespace

bool lies_within_one_page(std::uint64_t offset, std::uint64_t size) noexcept {
  if (size == 0) return true;
  return offset / atomic_write_page == (offset + size - 1) / atomic_write_page;
}

bool change_fits_one_write(std::uint64_t offset, const std::uint8_t* old, const std::uint8_t* bytes,
                           std::size_t size) noexcept {
  return change_fits_one_write(offset, old, size, bytes, size);
}

bool change_fits_one_write(std::uint64_t offset, const std::uint8_t* old, std::size_t old_size,
                           const std::uint8_t* bytes, std::size_t size) noexcept {
  if (size < old_size) return false;
  const changed_span span = find_changed_span(old, old_size, bytes, size);
  return lies_within_one_page(offset + span.first, span.end - span.first);
}

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
  return overwrite_changed_bytes(file, offset, old, size, bytes, size, abort);
}

bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* old, std::size_t old_size,
                             const std::uint8_t* bytes, std::size_t size, const abort_signal& abort) {
  if (size < old_size || size > 0xFFFFFFFFu) throw qiv::exception_bug_check();
  if (size == 0) return false;
  const changed_span span = find_changed_span(old, old_size, bytes, size);
  if (span.first == size) return false;
  if (!lies_within_one_page(offset + span.first, span.end - span.first))
    throw qiv::exception_bug_check();
  // Bytes past the old run lengthen the file: the run must end it.
  if (size > old_size && file.get_size(never_raised_abort_signal()) != offset + old_size)
    throw qiv::exception_bug_check();
  abort.check_and_throw();
  const abort_signal& no_abort = never_raised_abort_signal();
  file.seek(offset + span.first, no_abort);
  file.write(bytes + span.first, std::uint32_t(span.end - span.first), no_abort);
  return true;
}

}  // namespace vantrel_io
