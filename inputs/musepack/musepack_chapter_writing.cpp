#include "inputs/musepack/musepack_chapter_writing.h"

#include <algorithm>
#include <optional>

#include "inputs/musepack/musepack_packets.h"
#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"

namespace musepack {

namespace {

void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void append_file_bytes(std::vector<std::uint8_t>& out, vantrel_io::file_object& file, std::uint64_t position,
                       std::uint64_t size, const abort_signal& abort) {
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(size));
  file.seek(position, abort);
  std::uint64_t done = 0;
  while (done < size) {
    const auto step = static_cast<std::uint32_t>(std::min<std::uint64_t>(size - done, 1u << 20));
    if (file.read(out.data() + at + done, step, abort) != step) vantrel_io::throw_io_data();
    done += step;
  }
}

struct stream_layout {
  std::uint64_t first_chapter = 0;  // where rewriting starts
  std::uint64_t stream_end = 0;     // the "SE" packet
};

// Checks the whole packet run before anything is written.
stream_layout find_layout(vantrel_io::file_object& file, std::uint64_t header_position, const abort_signal& abort) {
  packet_reader packets(file, header_position + 4);
  std::optional<std::uint64_t> first_chapter;
  for (;;) {
    const packet_header packet = packets.next(abort);
    // Without the stream end there is no place for the chapters, and
    // copying on would lose them.
    if (!packet.found) vantrel_io::throw_io_data();
    if (packet.is("CT") && !first_chapter) first_chapter = packet.position;
    // Audio is never copied: chapters before it cannot be rewritten.
    if (packet.is("AP") && first_chapter) vantrel_io::throw_io_data();
    if (packet.is("SE")) return {first_chapter.value_or(packet.position), packet.position};
  }
}

}  // namespace

void write_chapter_packets(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t header_position,
                           const std::vector<std::vector<std::uint8_t>>& chapters, const tag_region_update* tags,
                           const abort_signal& abort) {
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  const stream_layout layout = find_layout(*file, header_position, abort);
  const std::uint64_t size = file->get_size(abort);
  const std::uint64_t leading_length = tags ? tags->leading_length : 0;
  const std::uint64_t trailing_start = tags ? tags->trailing_start : size;
  if (leading_length > layout.first_chapter || trailing_start < layout.stream_end || trailing_start > size)
    vantrel_io::throw_io_data();

  // The new tail: the packets between the first chapter and the stream end
  // that are not chapters, the new chapters, then the rest of the file with
  // its new trailing tags.
  std::vector<std::uint8_t> tail;
  packet_reader packets(*file, layout.first_chapter);
  for (;;) {
    const packet_header packet = packets.next(abort);
    if (packet.position >= layout.stream_end) break;
    if (!packet.is("CT")) append_file_bytes(tail, *file, packet.position, packet.total_size, abort);
  }
  for (const std::vector<std::uint8_t>& chapter : chapters) append(tail, chapter);
  append_file_bytes(tail, *file, layout.stream_end, trailing_start - layout.stream_end, abort);
  if (tags) append(tail, tags->trailing);
  const bool leading_changes = tags && vantrel_io::read_range(*file, 0, leading_length, abort) != tags->leading;

  // In place only as one write a killed process cannot leave half done: the
  // packets keep their length, the leading tags stay, and the bytes that
  // change share a page.
  const std::uint64_t old_length = size - layout.first_chapter;
  if (!leading_changes && tail.size() == old_length) {
    const std::vector<std::uint8_t> old = vantrel_io::read_range(*file, layout.first_chapter, old_length, abort);
    if (vantrel_io::change_fits_one_write(layout.first_chapter, old.data(), tail.data(), tail.size())) {
      vantrel_io::overwrite_changed_bytes(*file, layout.first_chapter, old.data(), tail.data(), tail.size(), abort);
      return;
    }
  }
  vantrel_io::file_ptr temp;
  if (!rewrite.open_temp(temp, abort)) throw exception_no_safe_rewrite();
  if (tags) {
    const std::vector<std::uint8_t>& leading =
        tags->leading_for_rewrite.empty() ? tags->leading : tags->leading_for_rewrite;
    if (!leading.empty()) temp->write(leading.data(), static_cast<std::uint32_t>(leading.size()), abort);
  }
  file->seek(leading_length, abort);
  vantrel_io::copy_bytes(*file, *temp, layout.first_chapter - leading_length, abort);
  if (tags && !tags->trailing_for_rewrite.empty()) {
    tail.resize(tail.size() - tags->trailing.size());
    append(tail, tags->trailing_for_rewrite);
  }
  temp->write(tail.data(), static_cast<std::uint32_t>(tail.size()), abort);
}

}  // namespace musepack
