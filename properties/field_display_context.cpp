#include "properties/field_display_context.h"

#include "core/advanced_settings_registrations.h"
#include "core/localized_text.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// Code point by code point after folding; an undecodable byte compares as itself.
template <class Fold>
std::string fold_text(std::string_view text, Fold fold) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t c = 0;
    const std::size_t length = qiv::utf8_decode_char_n(text.data() + at, text.size() - at, c);
    if (length == 0) {
      out += text[at++];
      continue;
    }
    char encoded[qiv::utf8_max_sequence];
    out.append(encoded, qiv::utf8_encode_char(fold(c), encoded));
    at += length;
  }
  return out;
}

bool contains_name(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& member : names)
    if (field_names_equal(member, name)) return true;
  return false;
}

}  // namespace

const std::array<const char*, field_display_context::standard_count>& field_display_context::standard_fields() {
  static const std::array<const char*, standard_count> names = {
      "artist",      "title",       "album",      "date",       "genre",     "composer", "performer",
      "album artist", "tracknumber", "totaltracks", "discnumber", "totaldiscs", "publisher", "comment"};
  return names;
}

std::vector<std::string> split_field_name_list(std::string_view text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) names.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

int compare_field_names(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool field_names_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && compare_field_names(a, b) == 0;
}

field_display_context::field_display_context(std::string_view multi_line_names, std::string_view multi_value_names)
    : multi_line_(split_field_name_list(multi_line_names)), multi_value_(split_field_name_list(multi_value_names)) {}

field_display_context::field_display_context() {
  qiv::string_buffer text;
  advanced_settings::multiline_fields.get_state(text);
  multi_line_ = split_field_name_list(text.get_ptr());
  advanced_settings::multivalue_fields.get_state(text);
  multi_value_ = split_field_name_list(text.get_ptr());
}

int field_display_context::standard_index(std::string_view name) {
  const std::string lower = fold_text(name, qiv::char_lower);
  for (std::size_t i = 0; i < standard_count; ++i)
    if (lower == standard_fields()[i]) return int(i);
  return -1;
}

std::string field_display_context::display_name(std::string_view name) const {
  const int standard = standard_index(name);
  if (standard >= 0) return localized_text::get((std::string("properties_meta_") + standard_fields()[standard]).c_str());
  return "<" + fold_text(name, qiv::char_upper) + ">";
}

bool field_display_context::is_multi_line(std::string_view name) const { return contains_name(multi_line_, name); }
bool field_display_context::is_multi_value(std::string_view name) const { return contains_name(multi_value_, name); }
