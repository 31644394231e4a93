#include "metadata/tags/comment_block.h"

#include <cstring>
#include <vector>

#include "foundation/byte_compare.h"
#include "foundation/byte_order.h"
#include "foundation/exceptions.h"
#include "foundation/utf8.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/comment_entries.h"
#include "metadata/track_info.h"

namespace {

struct name_alias {
  const char* info_name;
  const char* stored_name;
};
constexpr name_alias aliases[] = {
    {"PUBLISHER", "ORGANIZATION"},
    {"ALBUM ARTIST", "ALBUMARTIST"},
    {"TOTALTRACKS", "TRACKTOTAL"},
    {"TOTALDISCS", "DISCTOTAL"},
};

constexpr const char* picture_names[] = {"COVERART", "COVERARTMIME", "METADATA_BLOCK_PICTURE"};

// Bytes past the padding limit are not worth keeping: a block that shrank a
// lot gets the standard room instead of the whole old size.
constexpr std::uint32_t standard_padding = 2048;
constexpr std::uint32_t largest_kept_shrink = 16384;

void write_u32(vantrel_io::writer& out, std::uint32_t value, const abort_signal& abort) {
  std::uint8_t bytes[4];
  qiv::store_le(bytes, value, 4);
  out.write(bytes, 4, abort);
}

std::uint32_t read_u32(vantrel_io::memory_reader& reader) {
  std::uint8_t bytes[4];
  reader.read(bytes, 4);
  return qiv::load_le(bytes, 4);
}

void write_string(vantrel_io::writer& out, const std::string& text, const abort_signal& abort) {
  write_u32(out, static_cast<std::uint32_t>(text.size()), abort);
  out.write(text.data(), static_cast<std::uint32_t>(text.size()), abort);
}

std::uint32_t field_entry_count(const track_info& info, bool skip_pictures) {
  std::uint32_t count = 0;
  for (std::uint32_t f = 0; f < info.field_count(); ++f) {
    const char* name = comment_name_for_storage(info.field_name(f));
    if (skip_pictures && comment_is_picture_name(name, std::strlen(name))) continue;
    count += info.field_value_count(f);
  }
  return count;
}

std::uint32_t write_fields(const track_info& info, bool skip_pictures, vantrel_io::writer& out,
                           const abort_signal& abort) {
  std::uint32_t written = 0;
  for (std::uint32_t f = 0; f < info.field_count(); ++f) {
    const char* name = comment_name_for_storage(info.field_name(f));
    if (skip_pictures && comment_is_picture_name(name, std::strlen(name))) continue;
    for (std::uint32_t v = 0; v < info.field_value_count(f); ++v) {
      comment_block_write_entry(out, name, info.field_value(f, v), abort);
      ++written;
    }
  }
  return written;
}

std::uint32_t write_replaygain(const replaygain_info& record, vantrel_io::writer& out, const abort_signal& abort) {
  std::uint32_t written = 0;
  std::string text;
  if (replaygain_format_gain(text, record.album_gain)) {
    comment_block_write_entry(out, "replaygain_album_gain", text.c_str(), abort);
    ++written;
  }
  if (replaygain_format_peak(text, record.album_peak)) {
    comment_block_write_entry(out, "replaygain_album_peak", text.c_str(), abort);
    ++written;
  }
  if (replaygain_format_gain(text, record.track_gain)) {
    comment_block_write_entry(out, "replaygain_track_gain", text.c_str(), abort);
    ++written;
  }
  if (replaygain_format_peak(text, record.track_peak)) {
    comment_block_write_entry(out, "replaygain_track_peak", text.c_str(), abort);
    ++written;
  }
  return written;
}

// Whether a rebuild from the info keeps the old entry: pictures, and
// entries no reading takes for a field (not UTF-8, no name), unless the info
// writes a field of their name. Nothing tells whether the info dropped a
// field such an entry names, so it stays then.
bool kept_by_rebuild(const std::string& entry, const track_info& info) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string::npos || equals == 0) return true;
  const std::string name(entry, 0, equals);
  if (comment_is_picture_name(name.data(), name.size())) return true;
  if (info.find_field(comment_name_from_storage(name.c_str())) != track_info::not_found) return false;
  return !qiv::is_valid_utf8(entry.data(), entry.size()) || !track_info::is_valid_field_name(name.c_str());
}

void write_framing(bool framing, vantrel_io::writer& out, const abort_signal& abort) {
  if (!framing) return;
  const std::uint8_t one = 1;
  out.write(&one, 1, abort);
}

}  // namespace

const char* comment_name_for_storage(const char* info_name) {
  for (const auto& alias : aliases) {
    if (qiv::stricmp_ascii_equal(info_name, alias.info_name)) return alias.stored_name;
  }
  return info_name;
}

const char* comment_name_from_storage(const char* stored_name) {
  for (const auto& alias : aliases) {
    if (qiv::stricmp_ascii_equal(stored_name, alias.stored_name)) return alias.info_name;
  }
  return stored_name;
}

bool comment_is_picture_name(const char* name, std::size_t length) {
  for (const char* picture : picture_names) {
    if (qiv::stricmp_ascii_n(name, length, picture, std::strlen(picture)) == 0) return true;
  }
  return false;
}

void comment_block_write(const char* vendor, const track_info& info, const void* prefix, std::uint32_t prefix_size,
                         vantrel_io::writer& out, bool framing, const abort_signal& abort) {
  if (prefix_size) out.write(prefix, prefix_size, abort);
  write_string(out, vendor, abort);
  const replaygain_info replaygain = info.get_replaygain();
  write_u32(out, field_entry_count(info, false) + replaygain_count_present(replaygain), abort);
  write_fields(info, false, out, abort);
  write_replaygain(replaygain, out, abort);
  write_framing(framing, out, abort);
}

void comment_block_rebuild(const void* old_block, std::uint32_t old_size, const track_info& info, const void* prefix,
                           std::uint32_t prefix_size, bool framing, vantrel_io::writer& out,
                           const abort_signal& abort) {
  if (old_size < prefix_size) vantrel_io::throw_io_data();
  comment_block_contents old =
      comment_block_parse(static_cast<const std::uint8_t*>(old_block) + prefix_size, old_size - prefix_size);
  std::vector<std::string> kept;
  for (std::string& entry : old.entries) {
    if (kept_by_rebuild(entry, info)) kept.push_back(std::move(entry));
  }

  if (prefix_size) out.write(prefix, prefix_size, abort);
  write_string(out, old.vendor, abort);
  const replaygain_info replaygain = info.get_replaygain();
  const std::uint32_t count = static_cast<std::uint32_t>(kept.size()) + field_entry_count(info, true) +
                              replaygain_count_present(replaygain);
  write_u32(out, count, abort);
  std::uint32_t written = write_fields(info, true, out, abort);
  written += write_replaygain(replaygain, out, abort);
  for (const std::string& entry : kept) {
    write_string(out, entry, abort);
    ++written;
  }
  qiv::dynamic_assert(written == count);
  write_framing(framing, out, abort);
}

void comment_block_write_u32(vantrel_io::writer& out, std::uint32_t value, const abort_signal& abort) {
  write_u32(out, value, abort);
}

void comment_block_write_string(vantrel_io::writer& out, const std::string& text, const abort_signal& abort) {
  write_string(out, text, abort);
}

std::string comment_block_read_string(vantrel_io::memory_reader& reader) {
  const std::uint32_t length = read_u32(reader);
  if (length > reader.remaining()) vantrel_io::throw_io_data();
  std::string text(reinterpret_cast<const char*>(reader.position_pointer()), length);
  reader.skip(length);
  return text;
}

void comment_block_write_entry(vantrel_io::writer& out, const char* name, const char* value,
                               const abort_signal& abort) {
  const std::size_t name_length = std::strlen(name);
  const std::size_t value_length = std::strlen(value);
  write_u32(out, static_cast<std::uint32_t>(name_length + 1 + value_length), abort);
  out.write(name, static_cast<std::uint32_t>(name_length), abort);
  out.write("=", 1, abort);
  out.write(value, static_cast<std::uint32_t>(value_length), abort);
}

void comment_pad(qiv::array<std::uint8_t>& block, std::uint32_t old_size) {
  const std::uint32_t size = block.get_count();
  std::uint32_t padding = standard_padding;
  if (size <= old_size) {
    padding = old_size - size;
    if (padding > largest_kept_shrink) padding = standard_padding;
  }
  if (padding == 0) return;
  block.resize_hysteresis(size + padding);
  std::memset(block.data() + size, 0, padding);
}
