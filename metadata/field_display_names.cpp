#include "metadata/field_display_names.h"

#include <utility>

#include "core/localized_text.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"

namespace field_display_names {

namespace {

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

// Each standard field with its English display name, which messages show
// where no language table is loaded (the console tool).
constexpr std::array<std::pair<const char*, const char*>, standard_count> standard_table = {{
    {"artist", "Artist"},
    {"title", "Title"},
    {"album", "Album"},
    {"date", "Date"},
    {"genre", "Genre"},
    {"composer", "Composer"},
    {"performer", "Performer"},
    {"album artist", "Album artist"},
    {"tracknumber", "Track number"},
    {"totaltracks", "Total tracks"},
    {"discnumber", "Disc number"},
    {"totaldiscs", "Total discs"},
    {"publisher", "Publisher"},
    {"comment", "Comment"},
}};

}  // namespace

const std::array<const char*, standard_count>& standard_fields() {
  static const std::array<const char*, standard_count> names = [] {
    std::array<const char*, standard_count> out{};
    for (std::size_t i = 0; i < standard_count; ++i) out[i] = standard_table[i].first;
    return out;
  }();
  return names;
}

int standard_index(std::string_view name) {
  const std::string lower = fold_text(name, qiv::char_lower);
  for (std::size_t i = 0; i < standard_count; ++i)
    if (lower == standard_fields()[i]) return int(i);
  return -1;
}

namespace {

std::string name_of(std::string_view name, bool english_where_missing) {
  const int standard = standard_index(name);
  if (standard < 0) return "<" + fold_text(name, qiv::char_upper) + ">";
  qiv::string_buffer text;
  localized_text::get_or((std::string("properties_meta_") + standard_table[standard].first).c_str(),
                         english_where_missing ? standard_table[standard].second : nullptr, text);
  return text.get_ptr();
}

}  // namespace

std::string display_name(std::string_view name) { return name_of(name, false); }
std::string display_name_in_message(std::string_view name) { return name_of(name, true); }

}  // namespace field_display_names
