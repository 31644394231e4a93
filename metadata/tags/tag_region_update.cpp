#include "metadata/tags/tag_region_update.h"

#include <cstring>
#include <tuple>

#include "foundation/byte_scan.h"
#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "metadata/tags/id3v1.h"
#include "metadata/tags/id3v1_behind_id3v2.h"

namespace {

void write_all(vantrel_io::file_object& file, const std::vector<std::uint8_t>& bytes, const abort_signal& abort) {
  if (!bytes.empty()) file.write(bytes.data(), std::uint32_t(bytes.size()), abort);
}

// The whole new file, in order, into `out`.
void build_new_file(vantrel_io::file_object& file, vantrel_io::file_object& out, const tag_region_update& update, const abort_signal& abort) {
  write_all(out, update.leading, abort);
  file.seek(update.leading_length, abort);
  copy_bytes(file, out, update.trailing_start - update.leading_length, abort);
  write_all(out, update.trailing, abort);
}

// Whether the trailing run goes from `old_tail` to `tail` in one step that
// a kill cannot split: an overwrite within one page, a longer run whose
// bytes from the first that differs to the new end share a page (one write
// that also lengthens the file), or a cut of the whole run.
bool trailing_fits_one_step(std::uint64_t start, const std::vector<std::uint8_t>& old_tail,
                            const std::vector<std::uint8_t>& tail) {
  if (tail.empty()) return true;
  return vantrel_io::change_fits_one_write(start, old_tail.data(), old_tail.size(), tail.data(), tail.size());
}

// The step trailing_fits_one_step allowed. A write that fails partway (a
// full disk) is undone from the old bytes.
void write_trailing_in_place(vantrel_io::file_object& file, std::uint64_t start, const std::vector<std::uint8_t>& old_tail,
                             const std::vector<std::uint8_t>& tail, const abort_signal& abort) {
  if (tail.size() == old_tail.size()) {
    overwrite_changed_bytes(file, start, old_tail.data(), tail.data(), tail.size(), abort);
    return;
  }
  abort.check_and_throw();
  const abort_signal& no_abort = never_raised_abort_signal();
  if (tail.empty()) {
    file.resize(start, no_abort);
    return;
  }
  try {
    overwrite_changed_bytes(file, start, old_tail.data(), old_tail.size(), tail.data(), tail.size(), no_abort);
  } catch (...) {
    try {
      const std::size_t first = qiv::first_difference(old_tail.data(), tail.data(), old_tail.size());
      file.seek(start + first, no_abort);
      file.write(old_tail.data() + first, std::uint32_t(old_tail.size() - first), no_abort);
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

// Both ends in place, each of the same size, `order` saying which goes
// first. Once the first write is made the second is not cancelled, and when
// it fails the first is undone, so that a failure leaves the file as it was.
void write_both_in_place(vantrel_io::file_object& file, const tag_region_update& update, const std::vector<std::uint8_t>& old_leading,
                         const std::vector<std::uint8_t>& old_tail, write_order order, const abort_signal& abort) {
  struct end_write {
    std::uint64_t offset;
    const std::vector<std::uint8_t>& old_bytes;
    const std::vector<std::uint8_t>& bytes;
  };
  const end_write leading{0, old_leading, update.leading};
  const end_write trailing{update.trailing_start, old_tail, update.trailing};
  const end_write& first = order == write_order::leading_first ? leading : trailing;
  const end_write& second = order == write_order::leading_first ? trailing : leading;
  overwrite_changed_bytes(file, first.offset, first.old_bytes.data(), first.bytes.data(), first.bytes.size(), abort);
  const abort_signal& no_abort = never_raised_abort_signal();
  try {
    overwrite_changed_bytes(file, second.offset, second.old_bytes.data(), second.bytes.data(), second.bytes.size(),
                            no_abort);
  } catch (...) {
    try {
      overwrite_changed_bytes(file, first.offset, first.bytes.data(), first.old_bytes.data(), first.bytes.size(),
                              no_abort);
    } catch (const std::exception&) {
    }
    throw;
  }
}

}  // namespace

void apply_tag_region_update(vantrel_io::file_ptr& file, retag_temp_source& rewrite, tag_region_update& update,
                             const abort_signal& abort) {
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  const std::uint64_t size = file->get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  if (update.leading_length > update.trailing_start || update.trailing_start > size) vantrel_io::throw_io_data();

  const std::vector<std::uint8_t> old_tail = read_range(*file, update.trailing_start, size - update.trailing_start, abort);
  const bool trailing_changes = old_tail != update.trailing;
  if (update.old_leading != nullptr && update.old_leading->size() != update.leading_length) vantrel_io::throw_io_data();
  const bool leading_same_size = update.leading.size() == update.leading_length;
  // The old leading tags, when the new one may go over them.
  std::vector<std::uint8_t> read_leading;
  const std::vector<std::uint8_t>* old_leading = update.old_leading;
  if (leading_same_size && old_leading == nullptr) {
    read_leading = read_range(*file, 0, update.leading_length, abort);
    old_leading = &read_leading;
  }
  const bool leading_changes = !leading_same_size || *old_leading != update.leading;
  if (!leading_changes && !trailing_changes) return;

  // Decided in whole before the first byte is written.
  const bool leading_in_place =
      !leading_changes ||
      (leading_same_size && vantrel_io::change_fits_one_write(0, old_leading->data(), update.leading.data(), update.leading.size()));
  const bool trailing_in_place =
      !trailing_changes || trailing_fits_one_step(update.trailing_start, old_tail, update.trailing);
  write_order order = leading_changes ? write_order::leading_first : write_order::trailing_first;
  if (leading_in_place && trailing_in_place && leading_changes && trailing_changes)
    order = order_of_writes(*old_leading, update.leading, old_tail, update.trailing);

  if (!leading_in_place || !trailing_in_place || order == write_order::not_in_place) {
    vantrel_io::file_ptr output;
    if (!rewrite.open_temp(output, abort)) throw exception_no_safe_rewrite();
    if (!update.leading_for_rewrite.empty()) update.leading.swap(update.leading_for_rewrite);
    if (trailing_changes && !update.trailing_for_rewrite.empty()) update.trailing.swap(update.trailing_for_rewrite);
    update.leading_for_rewrite.clear();
    update.trailing_for_rewrite.clear();
    build_new_file(*file, *output, update, abort);
    return;
  }
  update.leading_for_rewrite.clear();
  update.trailing_for_rewrite.clear();
  if (leading_changes && trailing_changes) {
    write_both_in_place(*file, update, *old_leading, old_tail, order, abort);
  } else if (leading_changes) {
    overwrite_changed_bytes(*file, 0, old_leading->data(), update.leading.data(), update.leading.size(), abort);
  } else {
    write_trailing_in_place(*file, update.trailing_start, old_tail, update.trailing, abort);
  }
}
