#include "metadata/tags/tag_region_update.h"

#include <cstring>

#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/temp_schemes.h"

using namespace vantrel_io;

namespace {

// Remainders above this go to a scratch file on disk instead of memory.
constexpr std::uint64_t memory_scratch_limit = 16 * 1024 * 1024;

std::vector<std::uint8_t> read_range(file_object& file, std::uint64_t offset, std::uint64_t length,
                                     const abort_signal& abort) {
  if (length > 0xFFFFFFFFull) throw_io_data();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  file.seek(offset, abort);
  if (length) file.read_exact(bytes.data(), std::uint32_t(length), abort);
  return bytes;
}

void write_all(file_object& file, const std::vector<std::uint8_t>& bytes, const abort_signal& abort) {
  if (!bytes.empty()) file.write(bytes.data(), std::uint32_t(bytes.size()), abort);
}

// The whole new file, in order, into `out`.
void build_new_file(file_object& file, file_object& out, const tag_region_update& update, const abort_signal& abort) {
  write_all(out, update.leading, abort);
  file.seek(update.leading_length, abort);
  copy_bytes(file, out, update.trailing_start - update.leading_length, abort);
  write_all(out, update.trailing, abort);
}

// The new trailing run over the old one. One write puts it whole at its
// final place; when it is longer, that write also lengthens the file, so the
// footer readers look for is at the end at every moment. A write that fails
// partway (a full disk) is undone from the old bytes.
void write_trailing_in_place(file_object& file, std::uint64_t start, const std::vector<std::uint8_t>& old_tail,
                             const std::vector<std::uint8_t>& tail, const abort_signal& abort) {
  if (tail.size() == old_tail.size()) {
    overwrite_changed_bytes(file, start, tail.data(), tail.size(), abort);
    return;
  }
  abort.check_and_throw();
  const abort_signal& no_abort = never_raised_abort_signal();
  try {
    file.seek(start, no_abort);
    write_all(file, tail, no_abort);
    // Only a shrinking run without a temporary file gets here: the short
    // moment between this write and the cut cannot be avoided in place.
    if (tail.size() < old_tail.size()) file.resize(start + tail.size(), no_abort);
  } catch (...) {
    try {
      file.seek(start, no_abort);
      write_all(file, old_tail, no_abort);
      file.resize(start + old_tail.size(), no_abort);
    } catch (const std::exception&) {
    }
    throw;
  }
}

}  // namespace

void apply_tag_region_update(file_ptr& file, retag_temp_source& rewrite, const tag_region_update& update,
                             const abort_signal& abort) {
  if (!file->can_seek()) throw_exception_io_object_not_seekable();
  const std::uint64_t size = file->get_size(abort);
  if (size == filesize_unknown) throw_exception_io_no_length();
  if (update.leading_length > update.trailing_start || update.trailing_start > size) throw_io_data();

  const std::vector<std::uint8_t> old_tail = read_range(*file, update.trailing_start, size - update.trailing_start, abort);
  const bool trailing_changes = old_tail != update.trailing;
  if (update.old_leading != nullptr && update.old_leading->size() != update.leading_length) throw_io_data();
  bool leading_changes = update.leading.size() != update.leading_length;
  if (!leading_changes && update.leading_length > 0) {
    leading_changes = update.old_leading != nullptr ? *update.old_leading != update.leading
                                                    : read_range(*file, 0, update.leading_length, abort) != update.leading;
  }
  if (!leading_changes && !trailing_changes) return;

  const bool leading_in_place = update.leading.size() == update.leading_length;
  const bool trailing_in_place = update.trailing.size() >= old_tail.size();
  if (!leading_in_place || !trailing_in_place || (leading_changes && trailing_changes)) {
    file_ptr output;
    if (rewrite.open_temp(output, abort)) {
      build_new_file(*file, *output, update, abort);
      return;
    }
    if (!leading_in_place) {
      file_ptr scratch;
      if (size + update.leading.size() + update.trailing.size() > memory_scratch_limit)
        open_temp_file(scratch, abort);
      else
        open_temp_memory(scratch, abort);
      build_new_file(*file, *scratch, update, abort);
      // The file changes only from here, overwritten from its start and cut
      // last, without stopping halfway for a cancellation.
      copy_whole_file(*scratch, *file, abort);
      return;
    }
  }
  // In place. Readers take a leading tag's fields before the trailing
  // tags', so the trailing run goes first: until the leading tag follows,
  // the file reads as it did.
  if (trailing_changes) write_trailing_in_place(*file, update.trailing_start, old_tail, update.trailing, abort);
  if (!leading_changes) return;
  if (update.old_leading != nullptr)
    overwrite_changed_bytes(*file, 0, update.old_leading->data(), update.leading.data(), update.leading.size(), abort);
  else
    overwrite_changed_bytes(*file, 0, update.leading.data(), update.leading.size(), abort);
}
