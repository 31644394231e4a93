#include "metadata/tags/tag_region_update.h"

#include <cstring>
#include <functional>
#include <tuple>

#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/temp_schemes.h"
#include "metadata/tags/id3v1.h"
#include "metadata/tags/id3v1_behind_id3v2.h"

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

// Which end goes first when both change in place. A kill between the two
// writes leaves one end old and the other new; every reader must then still
// read the file as it was or as it is meant to be.
enum class write_order { trailing_first, leading_first, not_in_place };

// Readers take a leading tag's fields before the trailing tags'. Beside the
// leading tag that stands while the other end is written, a new ID3v1 block
// must read as the old one did: through the leading tag, or unseen behind
// it. An APEv2 tag holds any field, and the readers that fill the leading
// tag's gaps from it take different things (this program its ReplayGain
// values, others its fields): no order is known to keep it old or new to all.
write_order order_of_writes(const std::vector<std::uint8_t>& old_leading, const std::vector<std::uint8_t>& leading,
                            const std::vector<std::uint8_t>& old_tail, const std::vector<std::uint8_t>& tail) {
  constexpr std::size_t block_size = std::tuple_size_v<id3v1_block>;
  if (old_tail.size() != block_size || tail.size() != block_size) return write_order::not_in_place;
  if (!id3v1_is_block(old_tail.data()) || !id3v1_is_block(tail.data())) return write_order::not_in_place;
  id3v1_block before, after;
  std::memcpy(before.data(), old_tail.data(), block_size);
  std::memcpy(after.data(), tail.data(), block_size);
  // The old leading tag stands first: a block it hides may change under it.
  if (id3v1_change_hidden_behind(old_leading.data(), old_leading.size(), before, after))
    return write_order::trailing_first;
  // Else the new one first, when it hides the old block as well as the new.
  if (id3v1_change_hidden_behind(leading.data(), leading.size(), before, after)) return write_order::leading_first;
  return write_order::not_in_place;
}

// Both ends in place, `order` saying which goes first. Once the first write
// is made the second is not cancelled, and when it fails the first is undone,
// so that a failure leaves the file as it was.
void write_both_in_place(file_object& file, const tag_region_update& update, const std::vector<std::uint8_t>& old_leading,
                         const std::vector<std::uint8_t>& old_tail, bool leading_changes, bool trailing_changes,
                         write_order order, const abort_signal& abort) {
  // Each end written forward (old to new) or back (new to old).
  using end_write = std::function<void(bool forward, const abort_signal&)>;
  const end_write leading = [&](bool forward, const abort_signal& signal) {
    const std::vector<std::uint8_t>& from = forward ? old_leading : update.leading;
    const std::vector<std::uint8_t>& to = forward ? update.leading : old_leading;
    if (leading_changes) overwrite_changed_bytes(file, 0, from.data(), to.data(), to.size(), signal);
  };
  const end_write trailing = [&](bool forward, const abort_signal& signal) {
    if (trailing_changes)
      write_trailing_in_place(file, update.trailing_start, forward ? old_tail : update.trailing,
                              forward ? update.trailing : old_tail, signal);
  };
  const bool leading_goes_first = order == write_order::leading_first;
  const end_write& first = leading_goes_first ? leading : trailing;
  const end_write& second = leading_goes_first ? trailing : leading;
  const bool first_changes = leading_goes_first ? leading_changes : trailing_changes;
  const abort_signal& no_abort = never_raised_abort_signal();
  first(true, abort);
  try {
    second(true, first_changes ? no_abort : abort);
  } catch (...) {
    try {
      first(false, no_abort);
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
  const bool leading_in_place = update.leading.size() == update.leading_length;
  // The old leading tags, when the new one may go over them.
  std::vector<std::uint8_t> read_leading;
  const std::vector<std::uint8_t>* old_leading = update.old_leading;
  if (leading_in_place && old_leading == nullptr) {
    read_leading = read_range(*file, 0, update.leading_length, abort);
    old_leading = &read_leading;
  }
  const bool leading_changes = !leading_in_place || *old_leading != update.leading;
  if (!leading_changes && !trailing_changes) return;

  const bool trailing_in_place = update.trailing.size() >= old_tail.size();
  const write_order order = leading_in_place && leading_changes && trailing_changes
                                ? order_of_writes(*old_leading, update.leading, old_tail, update.trailing)
                                : write_order::trailing_first;
  if (!leading_in_place || !trailing_in_place || order == write_order::not_in_place) {
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
  // Without a temporary file a change that no order makes safe still goes
  // in place, the trailing run first: the leading tag's fields, which
  // readers take first, change last.
  write_both_in_place(*file, update, *old_leading, old_tail, leading_changes, trailing_changes,
                      order == write_order::leading_first ? order : write_order::trailing_first, abort);
}
