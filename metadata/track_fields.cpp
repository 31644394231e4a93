#include "metadata/track_fields.h"

#include <cstring>
#include <string>

#include "foundation/byte_compare.h"
#include "foundation/path_names.h"
#include "foundation/string_small.h"
#include "foundation/time_format.h"
#include "io/path_schemes.h"
#include "metadata/field_name_set.h"

namespace track_fields {

namespace {

// Paths, file names, subsong and lengths are one kind of text; names and
// record fields the other, so that filters can treat them apart.
const GUID& path_type = title_text_type_b;
const GUID& field_type = title_text_type_a;

std::string display_path(const track_location& location) {
  qiv::string_small shown;
  vantrel_io::get_display_path(shown, location.get_path());
  return shown.get_ptr();
}

std::string padded_subsong(std::uint32_t subsong) {
  std::string digits = std::to_string(subsong);
  return std::string(10 - digits.size(), '0') + digits;
}

bool has_length(const track_display_info& record) { return record.get_length() > 0.0f; }

std::uint64_t whole_seconds(const track_display_info& record) {
  const double seconds = static_cast<double>(record.get_length()) + 0.5;
  // A damaged stored length (infinite, or beyond any real track) must not
  // make the conversion undefined.
  if (!(seconds < 1.8e19)) return ~std::uint64_t(0);
  return static_cast<std::uint64_t>(seconds);
}

// Several values are kept joined by "; " and shown joined by ", ".
void write_multi_value(title_field_output& out, const char* text) {
  for (;;) {
    const char* separator = std::strstr(text, "; ");
    if (separator == nullptr) break;
    out.write(field_type, text, static_cast<std::size_t>(separator - text));
    out.write(field_type, ", ", 2);
    text = separator + 2;
  }
  out.write(field_type, text);
}

struct field_context {
  const track_display_info& record;
  const track_location& location;
  title_field_output& out;
};

// Each answers whether it wrote a value.
using builtin_handler = bool (*)(field_context&);

bool write_filename(field_context& c) {
  c.out.write(path_type, qiv::string_filename(display_path(c.location).c_str()).get_ptr());
  return true;
}

bool write_filename_ext(field_context& c) {
  c.out.write(path_type, qiv::string_filename_ext(display_path(c.location).c_str()).get_ptr());
  return true;
}

bool write_filename_sort(field_context& c) {
  const std::string text = std::string(qiv::string_filename(display_path(c.location).c_str()).get_ptr()) + "|" +
                           padded_subsong(c.location.get_subsong());
  c.out.write(path_type, text.c_str());
  return true;
}

bool write_path(field_context& c) {
  const std::string path = display_path(c.location);
  c.out.write(path_type, path.empty() ? "n/a" : path.c_str());
  return true;
}

bool write_path_sort(field_context& c) {
  const std::string text = display_path(c.location) + "|" + padded_subsong(c.location.get_subsong());
  c.out.write(path_type, text.c_str());
  return true;
}

bool write_directory(field_context& c) {
  const std::string path = display_path(c.location);
  std::size_t end = path.size();
  while (end > 0 && !qiv::is_path_separator(path[end - 1])) --end;
  if (end == 0) return false;
  --end;  // the folder's text ends before the file's separator
  std::size_t start = end;
  while (start > 0 && !qiv::is_path_separator(path[start - 1])) --start;
  c.out.write(field_type, path.data() + start, end - start);
  return true;
}

bool write_subsong(field_context& c) {
  c.out.write(path_type, std::to_string(c.location.get_subsong()).c_str());
  return true;
}

bool write_length(field_context& c) {
  if (!has_length(c.record)) return false;
  c.out.write(path_type, qiv::format_timespan(whole_seconds(c.record)).get_ptr());
  return true;
}

bool write_length_ex(field_context& c) {
  if (!has_length(c.record)) return false;
  c.out.write(path_type, qiv::format_time_ex(c.record.get_length(), 3).get_ptr());
  return true;
}

bool write_length_seconds(field_context& c) {
  if (!has_length(c.record)) return false;
  c.out.write(path_type, std::to_string(whole_seconds(c.record)).c_str());
  return true;
}

bool write_title(field_context& c) {
  const char* title = c.record.get(field_name_set::title);
  if (*title != '\0') {
    write_multi_value(c.out, title);
    return true;
  }
  const std::string path = display_path(c.location);
  const qiv::string_buffer name = qiv::string_filename(path.c_str());
  c.out.write(field_type, name.is_empty() ? path.c_str() : name.get_ptr());
  return true;
}

bool write_tracknumber(field_context& c) {
  const char* number = c.record.get(field_name_set::track_number);
  const std::size_t length = std::strlen(number);
  if (length == 0) return false;
  if (length == 1) c.out.write(field_type, "0", 1);
  c.out.write(field_type, number, length);
  return true;
}

struct builtin_field {
  const char* name;
  builtin_handler handler;
};

constexpr builtin_field builtin_fields[] = {
    {"filename", write_filename},       {"filename_ext", write_filename_ext},
    {"filename_sort", write_filename_sort}, {"path", write_path},
    {"path_sort", write_path_sort},     {"directory", write_directory},
    {"subsong", write_subsong},         {"length", write_length},
    {"length_ex", write_length_ex},     {"length_seconds", write_length_seconds},
    {"title", write_title},             {"tracknumber", write_tracknumber},
};

bool name_is(const char* name, std::size_t name_length, const char* wanted) {
  return qiv::stricmp_ascii_n(name, name_length, wanted, std::strlen(wanted)) == 0;
}

constexpr std::size_t builtin_count = sizeof(builtin_fields) / sizeof(builtin_fields[0]);
constexpr track_field_slot first_record_slot = 1 + builtin_count;
constexpr track_field_slot track_artist_slot = first_record_slot + field_name_set::field_count;

// The record field a record slot answers from, with Artist and Album Artist
// standing in for each other.
bool record_field_of(const track_display_info& record, track_field_slot slot, std::uint32_t& index) {
  using namespace field_name_set;
  const auto filled = [&](std::uint32_t i) { return *record.get(i) != '\0'; };
  if (slot == track_artist_slot) {
    if (!filled(artist) || !filled(album_artist) || std::strcmp(record.get(artist), record.get(album_artist)) == 0)
      return false;
    index = artist;
    return true;
  }
  const std::uint32_t wanted = slot - first_record_slot;
  std::uint32_t fallback = wanted;
  if (wanted == artist) fallback = album_artist;
  if (wanted == album_artist) fallback = artist;
  if (filled(wanted)) {
    index = wanted;
    return true;
  }
  if (filled(fallback)) {
    index = fallback;
    return true;
  }
  return false;
}

} // namespace

track_field_slot slot_of(const char* name, std::size_t name_length) {
  if (std::memchr(name, 0, name_length) != nullptr) return no_track_field;
  for (std::size_t i = 0; i < builtin_count; ++i)
    if (name_is(name, name_length, builtin_fields[i].name)) return static_cast<track_field_slot>(1 + i);
  std::uint32_t index = 0;
  if (field_name_set::find(name, name_length, index)) return static_cast<track_field_slot>(first_record_slot + index);
  if (name_is(name, name_length, "track artist")) return track_artist_slot;
  return no_track_field;
}

bool find_record_field(const track_display_info& record, std::uint32_t& index, const char* name,
                       std::size_t name_length) {
  const track_field_slot slot = slot_of(name, name_length);
  return slot >= first_record_slot && record_field_of(record, slot, index);
}

bool process_slot(const track_display_info& record, const track_location& location, title_field_output& out,
                  track_field_slot slot, bool& found) {
  if (slot == no_track_field || slot > track_artist_slot) return false;
  if (slot < first_record_slot) {
    field_context context{record, location, out};
    found = builtin_fields[slot - 1].handler(context);
    if (!found) out.write(field_type, "?", 1);
    return true;
  }
  std::uint32_t index = 0;
  if (!record_field_of(record, slot, index)) return false;
  write_multi_value(out, record.get(index));
  found = true;
  return true;
}

bool process_field(const track_display_info& record, const track_location& location, title_field_output& out,
                   const char* name, std::size_t name_length, bool& found) {
  return process_slot(record, location, out, slot_of(name, name_length), found);
}

} // namespace track_fields

bool track_field_provider::process_field(title_field_output& out, const char* name, std::size_t name_length,
                                         bool& found) {
  if (caller_ && caller_->process_field(out, name, name_length, found)) return true;
  return track_fields::process_field(record_, location_, out, name, name_length, found);
}

bool track_field_provider::process_bound_field(title_field_output& out, track_field_slot slot, const char* name,
                                               std::size_t name_length, bool& found) {
  if (caller_ && caller_->process_field(out, name, name_length, found)) return true;
  return track_fields::process_slot(record_, location_, out, slot, found);
}

bool track_field_provider::process_function(title_field_output& out, const char* name, std::size_t name_length,
                                            const title_function_args& args, bool& found) {
  return caller_ && caller_->process_function(out, name, name_length, args, found);
}
