#include "inputs/musepack/musepack_chapter_writing.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "foundation/bit_array.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_packets.h"
#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "metadata/tags/apev2.h"

namespace musepack {

namespace {

bool same_values(const track_info& a, std::uint32_t field_a, const track_info& b, std::uint32_t field_b) {
  const std::uint32_t count = a.field_value_count(field_a);
  if (b.field_value_count(field_b) != count) return false;
  for (std::uint32_t v = 0; v < count; ++v)
    if (std::strcmp(a.field_value(field_a, v), b.field_value(field_b, v)) != 0) return false;
  return true;
}

bool shared_by_all(const std::vector<track_info_impl>& chapters, std::uint32_t field) {
  const track_info& first = chapters.front();
  for (std::size_t c = 1; c < chapters.size(); ++c) {
    const std::uint32_t other = chapters[c].find_field(first.field_name(field));
    if (other == track_info::not_found || !same_values(first, field, chapters[c], other)) return false;
  }
  return true;
}

template <class Member>
void keep_if_shared(const std::vector<track_info_impl>& chapters, replaygain_info& out, Member member) {
  const float first = chapters.front().get_replaygain().*member;
  for (const track_info_impl& chapter : chapters) {
    const float own = chapter.get_replaygain().*member;
    // Bit for bit, so that two absent values match and NaNs compare too.
    if (std::memcmp(&own, &first, sizeof first) != 0) return;
  }
  out.*member = first;
}

void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void append_be16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
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

std::vector<std::uint8_t> packet_bytes(const char* key, const std::vector<std::uint8_t>& payload) {
  std::uint32_t length = 1;
  while ((payload.size() + 2 + length) >> (7 * length) != 0) {
    if (++length > 9) vantrel_io::throw_io_data();
  }
  std::vector<std::uint8_t> out(key, key + 2);
  std::vector<std::uint8_t> size = encode_packet_number(payload.size() + 2 + length);
  size.insert(size.begin(), length - size.size(), 0x80);
  append(out, size);
  append(out, payload);
  return out;
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

void split_common_fields(std::vector<track_info_impl>& chapters, track_info& common) {
  if (chapters.empty()) return;
  const track_info_impl& first = chapters.front();
  const std::uint32_t track_number = first.find_field("TRACKNUMBER");
  const std::uint32_t disc_number = first.find_field("DISCNUMBER");
  const bool tracks_differ = track_number == track_info::not_found || !shared_by_all(chapters, track_number);
  const bool discs_differ = disc_number == track_info::not_found || !shared_by_all(chapters, disc_number);
  // All decided before any chapter changes, so the field positions hold.
  std::vector<std::string> moved;
  for (std::uint32_t f = 0; f < first.field_count(); ++f) {
    const char* name = first.field_name(f);
    const bool total_of_differing = (tracks_differ && std::strcmp(name, "TOTALTRACKS") == 0) ||
                                    (discs_differ && std::strcmp(name, "TOTALDISCS") == 0);
    if (!total_of_differing && !shared_by_all(chapters, f)) continue;
    track_info::copy_field_values_from(common, first, f);
    moved.emplace_back(name);
  }
  for (track_info_impl& chapter : chapters) {
    qiv::bit_array selection(chapter.field_count());
    for (const std::string& name : moved) {
      const std::uint32_t own = chapter.find_field(name.c_str());
      if (own != track_info::not_found) selection.set(own, true);
    }
    chapter.remove_fields(selection);
  }
  replaygain_info gain;
  keep_if_shared(chapters, gain, &replaygain_info::album_gain);
  keep_if_shared(chapters, gain, &replaygain_info::track_gain);
  keep_if_shared(chapters, gain, &replaygain_info::album_peak);
  keep_if_shared(chapters, gain, &replaygain_info::track_peak);
  common.set_replaygain(gain);
}

std::vector<std::uint8_t> chapter_payload(std::uint64_t start_sample, const track_info& chapter) {
  std::vector<std::uint8_t> payload = encode_packet_number(start_sample);
  const replaygain_info gain = chapter.get_replaygain();
  append_be16(payload, gain_to_header(gain.track_gain));
  append_be16(payload, peak_to_header(gain.track_peak));
  // The chapter's gain lives in the two values above, not in its tag.
  track_info_impl fields;
  fields.copy_all_from(chapter);
  fields.clear_replaygain();
  apev2::item_list items;
  apev2::write_from_track_info(items, fields);
  append(payload, apev2::render_tag_bytes(items));
  return payload;
}

void write_chapter_packets(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t header_position,
                           const std::vector<track_info_impl>& chapters, const std::vector<std::uint64_t>& starts,
                           const tag_region_update* tags, const abort_signal& abort) {
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  if (starts.size() != chapters.size()) vantrel_io::throw_io_data();
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
  for (std::size_t i = 0; i < chapters.size(); ++i)
    append(tail, packet_bytes("CT", chapter_payload(starts[i], chapters[i])));
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
  temp->write(tail.data(), static_cast<std::uint32_t>(tail.size()), abort);
}

}  // namespace musepack
