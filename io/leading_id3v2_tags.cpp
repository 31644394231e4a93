#include "io/leading_id3v2_tags.h"

#include <algorithm>
#include <cstring>

#include "io/file_copy.h"
#include "io/io_exceptions.h"

namespace {

constexpr std::uint32_t header_size = 10;
constexpr std::uint32_t footer_size = 10;
constexpr std::uint8_t footer_flag = 0x10;

}  // namespace

std::uint64_t id3v2_tag_length(const std::uint8_t* header) {
  if (std::memcmp(header, "ID3", 3) != 0) return 0;
  const std::uint8_t flags = header[5];
  if ((flags & 0x0F) != 0) return 0;
  std::uint64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (header[i] >= 0x80) return 0;
    size = (size << 7) | header[i];
  }
  std::uint64_t length = size + header_size;
  if (flags & footer_flag) length += footer_size;
  return length;
}

std::uint64_t id3v2_skip_leading_tag(vantrel_io::file_object& file, std::uint64_t offset, const abort_signal& abort) {
  file.seek(offset, abort);
  std::uint8_t header[header_size];
  // Fewer than ten bytes left: no room for a header.
  std::uint64_t length = file.read(header, header_size, abort) == header_size ? id3v2_tag_length(header) : 0;
  if (length != 0) {
    // A tag that claims more than the file holds (a cut-off download) ends
    // with the file.
    const std::uint64_t size = file.get_size(abort);
    if (size != vantrel_io::filesize_unknown && offset + length > size) length = size - offset;
  }
  file.seek(offset + length, abort);
  return length;
}

std::uint32_t id3v2_count_leading_tags(vantrel_io::file_object& file, std::uint64_t& total_length, const abort_signal& abort) {
  total_length = 0;
  std::uint32_t count = 0;
  while (const std::uint64_t length = id3v2_skip_leading_tag(file, total_length, abort)) {
    total_length += length;
    ++count;
  }
  return count;
}

void id3v2_strip_leading_tags(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t& leading_length,
                              const abort_signal& abort, std::uint64_t rest_end) {
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  const std::uint64_t size = file->get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  file->seek(0, abort);
  std::uint64_t tags = 0;
  id3v2_count_leading_tags(*file, tags, abort);
  leading_length = tags;
  if (tags == 0 || tags >= size) return;

  // The file stands just after the tags. Moving the rest up in place takes
  // many writes, which a killed process would leave half done.
  const std::uint64_t rest = (rest_end < size ? std::max(rest_end, tags) : size) - tags;
  vantrel_io::file_ptr output;
  if (!rewrite.open_temp(output, abort)) throw exception_no_safe_rewrite();
  copy_bytes(*file, *output, rest, abort);
}

bool id3v2_remove_leading_tags(vantrel_io::file_ptr& file, const abort_signal& abort) {
  retag_in_place in_place;
  std::uint64_t leading_length = 0;
  id3v2_strip_leading_tags(file, in_place, leading_length, abort);
  return leading_length != 0;
}
