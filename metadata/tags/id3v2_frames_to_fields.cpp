#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "foundation/ascii_digit.h"
#include "metadata/tags/compilation_album_artist.h"
#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/id3v2_field_mapping.h"
#include "metadata/tags/id3v2_text_encoding.h"

using id3parser::frame;
using id3parser::frame_id;
using id3parser::parseError;

namespace {

enum class rule { text, multi, number, year, day_month, genre, comment, lyrics, txxx, wxxx, url, rating };

struct frame_rule {
  std::uint32_t id;
  const char* field;
  const char* total;  // number rule only
  rule kind;
  // Versions in which strict mode refuses the frame: bit v set for version v.
  unsigned strict_refused_in;
};

constexpr unsigned below_4 = (1u << 2) | (1u << 3);
constexpr unsigned in_4 = 1u << 4;

constexpr frame_rule rules[] = {
    {frame_id("TALB"), "album", nullptr, rule::text, 0},
    {frame_id("TBPM"), "bpm", nullptr, rule::text, 0},
    {frame_id("TCMP"), "itunescompilation", nullptr, rule::text, 0},
    {frame_id("TCOP"), "copyright", nullptr, rule::text, 0},
    {frame_id("TDRC"), "date", nullptr, rule::text, below_4},
    {frame_id("TDRL"), "release date", nullptr, rule::text, 0},
    {frame_id("TENC"), "encoded by", nullptr, rule::text, 0},
    {frame_id("TIPL"), "involved people", nullptr, rule::text, below_4},
    {frame_id("TIT2"), "title", nullptr, rule::text, 0},
    {frame_id("TIT3"), "subtitle", nullptr, rule::text, 0},
    {frame_id("TKEY"), "initial key", nullptr, rule::text, 0},
    {frame_id("TLAN"), "language", nullptr, rule::text, 0},
    {frame_id("TMCL"), "musician credits", nullptr, rule::text, below_4},
    {frame_id("TMED"), "media type", nullptr, rule::text, 0},
    {frame_id("TMOO"), "mood", nullptr, rule::multi, 0},
    {frame_id("TDOR"), "original release date", nullptr, rule::text, below_4},
    {frame_id("TORY"), "original release date", nullptr, rule::text, in_4},
    {frame_id("TOWN"), "owner", nullptr, rule::text, 0},
    {frame_id("TPUB"), "publisher", nullptr, rule::text, 0},
    {frame_id("TRDA"), "recording dates", nullptr, rule::text, in_4},
    {frame_id("TRSN"), "radio station", nullptr, rule::text, 0},
    {frame_id("TRSO"), "radio station owner", nullptr, rule::text, 0},
    {frame_id("TSRC"), "isrc", nullptr, rule::text, 0},
    {frame_id("TSSE"), "encoding settings", nullptr, rule::text, 0},
    {frame_id("TSST"), "set subtitle", nullptr, rule::text, 0},
    {frame_id("TCOM"), "composer", nullptr, rule::multi, 0},
    {frame_id("TEXT"), "lyricist", nullptr, rule::multi, 0},
    {frame_id("TIT1"), "content group", nullptr, rule::multi, 0},
    {frame_id("TOAL"), "original album", nullptr, rule::multi, 0},
    {frame_id("TOPE"), "original artist", nullptr, rule::multi, 0},
    {frame_id("TPE1"), "artist", nullptr, rule::multi, 0},
    {frame_id("TPE2"), "album artist", nullptr, rule::multi, 0},
    {frame_id("TPE3"), "conductor", nullptr, rule::multi, 0},
    {frame_id("TPE4"), "remixed by", nullptr, rule::multi, 0},
    {frame_id("TSO2"), "albumartistsortorder", nullptr, rule::multi, 0},
    {frame_id("TSOA"), "albumsortorder", nullptr, rule::multi, 0},
    {frame_id("TSOC"), "composersortorder", nullptr, rule::multi, 0},
    {frame_id("TSOP"), "artistsortorder", nullptr, rule::multi, 0},
    {frame_id("TSOT"), "titlesortorder", nullptr, rule::multi, 0},
    {frame_id("TRCK"), "tracknumber", "totaltracks", rule::number, 0},
    {frame_id("TPOS"), "discnumber", "totaldiscs", rule::number, 0},
    {frame_id("TYER"), "date", nullptr, rule::year, in_4},
    {frame_id("TDAT"), "date", nullptr, rule::day_month, in_4},
    {frame_id("TCON"), "genre", nullptr, rule::genre, 0},
    {frame_id("COMM"), "comment", nullptr, rule::comment, 0},
    {frame_id("USLT"), "unsynced lyrics", nullptr, rule::lyrics, 0},
    {frame_id("TXXX"), nullptr, nullptr, rule::txxx, 0},
    {frame_id("WXXX"), "www", nullptr, rule::wxxx, 0},
    {frame_id("WCOM"), "commercial information url", nullptr, rule::url, 0},
    {frame_id("WCOP"), "copyright url", nullptr, rule::url, 0},
    {frame_id("WOAF"), "file webpage url", nullptr, rule::url, 0},
    {frame_id("WOAR"), "artist webpage url", nullptr, rule::url, 0},
    {frame_id("WOAS"), "source webpage url", nullptr, rule::url, 0},
    {frame_id("WORS"), "internet radio webpage url", nullptr, rule::url, 0},
    {frame_id("WPAY"), "payment url", nullptr, rule::url, 0},
    {frame_id("WPUB"), "publisher url", nullptr, rule::url, 0},
    {frame_id("POPM"), "rating", nullptr, rule::rating, 0},
};


}  // namespace

// "#" is one ASCII digit, any other character itself; the whole value must match.
bool id3v2_date_pattern_matches(const std::string& value, const char* pattern) {
  std::size_t i = 0;
  for (; pattern[i] != 0; ++i) {
    if (i >= value.size()) return false;
    if (pattern[i] == '#' ? !qiv::is_ascii_digit(value[i]) : value[i] != pattern[i]) return false;
  }
  return i == value.size();
}

namespace {

void add_multi(const frame& f, unsigned version, bool strict, const char* field, tag_field_map& fields) {
  const std::uint32_t count = id3v2_text_value_count(f);
  if (version < 4 && id3v2_text_value_count_without_trailing_empties(f) <= 1) {
    const std::string text = id3v2_text_value(f, 0, strict);
    std::size_t start = 0;
    for (;;) {
      const std::size_t separator = text.find(" / ", start);
      if (separator == std::string::npos) {
        fields.add_value(field, text.substr(start));
        break;
      }
      fields.add_value(field, text.substr(start, separator - start));
      start = separator + 3;
      if (start >= text.size()) break;
    }
    return;
  }
  if (strict && version < 4) throw parseError();
  id3v2_text_strings strings(f);
  for (std::uint32_t i = 0; i < count; ++i) fields.add_value(field, strings.next(strict));
}

void map_year(const std::string& year, bool strict, tag_field_map& fields) {
  if (!id3v2_date_pattern_matches(year, "####")) {
    if (strict) throw parseError();
    return;
  }
  tag_field_map::values& date = fields.at("date");
  if (date.empty()) date.emplace_back();
  if (id3v2_date_pattern_matches(date[0], "####-##-##"))
    date[0].replace(0, 4, year);
  else
    date[0] = year;
}

void map_day_month(const std::string& ddmm, bool strict, tag_field_map& fields) {
  if (!id3v2_date_pattern_matches(ddmm, "####")) {
    if (strict) throw parseError();
    return;
  }
  tag_field_map::values& date = fields.at("date");
  if (date.empty()) date.emplace_back();
  std::string year = "0000";
  if (id3v2_date_pattern_matches(date[0], "####") || id3v2_date_pattern_matches(date[0], "####-##-##"))
    year = date[0].substr(0, 4);
  std::string value = year + "-" + ddmm.substr(2, 2);
  if (ddmm.substr(0, 2) != "00") value += "-" + ddmm.substr(0, 2);
  date[0] = value;
}

// A genre reference: a number of the ID3v1 list, "RX" (Remix) or "CR" (Cover).
bool is_genre_reference(const std::string& text) {
  if (text == "RX" || text == "CR") return true;
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return qiv::is_ascii_digit(c); });
}

// The list index a numeric reference gives; none for "RX", "CR" and a
// number past the list.
std::optional<std::uint32_t> genre_list_index(const std::string& reference) {
  if (reference.empty() || reference.size() > 9 || !qiv::is_ascii_digit(reference[0])) return std::nullopt;
  const unsigned long n = std::strtoul(reference.c_str(), nullptr, 10);
  if (n >= id3v1_genre_count) return std::nullopt;
  return std::uint32_t(n);
}

// The genre a reference names. A number past the list names no genre the
// player knows, yet the tag holds it: it shows as its digits, as a bare
// number past the list does.
std::string genre_reference_name(const std::string& reference) {
  if (reference == "RX") return "Remix";
  if (reference == "CR") return "Cover";
  const std::optional<std::uint32_t> index = genre_list_index(reference);
  return index ? id3v1_genre_list[*index] : reference;
}

// The text behind a reference repeats it when it is the name the reference
// gives or another tagger's spelling of that genre ("(40)Alt. Rock").
bool repeats_reference(const std::string& reference, const std::string& text) {
  if (text == genre_reference_name(reference)) return true;
  const std::optional<std::uint32_t> index = genre_list_index(reference);
  return index && id3v1_genre_is_spelling_of(*index, text);
}

// One genre string: references "(17)(8)", then text refining them, its
// leading "(" doubled ("((Live)"). Every reference is a genre, and the text
// one more unless it repeats a reference ("(17)Rock" is one Rock). A string
// that is a reference alone without parentheses ("17", as 2.4 stores them)
// names its genre.
void map_genre_piece(const std::string& piece, tag_field_map& fields) {
  if (piece.empty()) return;
  if (is_genre_reference(piece)) {
    fields.add_value("genre", genre_reference_name(piece));
    return;
  }
  std::vector<std::string> references;
  std::size_t pos = 0;
  while (pos + 1 < piece.size() && piece[pos] == '(' && piece[pos + 1] != '(') {
    const std::size_t close = piece.find(')', pos + 1);
    if (close == std::string::npos) break;
    std::string reference = piece.substr(pos + 1, close - pos - 1);
    if (!is_genre_reference(reference)) break;
    fields.add_value("genre", genre_reference_name(reference));
    references.push_back(std::move(reference));
    pos = close + 1;
  }
  std::string refinement = piece.substr(pos);
  if (refinement.compare(0, 2, "((") == 0) refinement.erase(0, 1);
  if (refinement.empty()) return;
  if (std::none_of(references.begin(), references.end(),
                   [&](const std::string& reference) { return repeats_reference(reference, refinement); }))
    fields.add_value("genre", refinement);
}

void map_genre(const frame& f, unsigned version, bool strict, tag_field_map& fields) {
  const std::uint32_t count = id3v2_text_value_count(f);
  id3v2_text_strings strings(f);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string text = strings.next(strict);
    if (version >= 4) {
      map_genre_piece(text, fields);
      continue;
    }
    std::size_t start = 0;
    for (;;) {
      while (start < text.size() && text[start] == ' ') ++start;
      const std::size_t semicolon = text.find(';', start);
      if (semicolon == std::string::npos) {
        map_genre_piece(text.substr(start), fields);
        break;
      }
      std::size_t end = semicolon;
      while (end > start && text[end - 1] == ' ') --end;
      map_genre_piece(text.substr(start, end - start), fields);
      start = semicolon + 1;
    }
  }
}

void map_txxx(const frame& f, bool strict, tag_field_map& fields) {
  const std::uint32_t count = id3v2_text_value_count(f);
  if (count < 2) {
    if (strict) throw parseError();
    return;
  }
  id3v2_text_strings strings(f);
  const std::string name = strings.next(strict);
  if (name.empty()) return;
  if (is_replaygain_field_name(name.c_str())) {
    const std::string value = strings.next(strict);
    bool has_digit = false;
    for (char c : value) has_digit = has_digit || qiv::is_ascii_digit(c);
    if (has_digit)
      fields.add_value(name, value);
    else if (strict)
      throw parseError();
    return;
  }
  const std::string field = id3v2_strip_trailing_index(name);
  for (std::uint32_t i = 1; i < count; ++i) fields.add_value(field, strings.next(strict));
}

void map_rating(const frame& f, tag_field_map& fields) {
  const auto zero = std::find(f.data.begin(), f.data.end(), std::uint8_t(0));
  if (zero == f.data.end() || zero + 1 == f.data.end()) throw parseError();
  const unsigned r = *(zero + 1);
  if (r == 0) return;
  const unsigned stars = unsigned((r - 1) * 0.003937008 * 4 + 0.5) + 1;
  char text[16];
  std::snprintf(text, sizeof text, "%u", stars);
  fields.set_value("rating", text);
}

}  // namespace

std::string id3v2_strip_trailing_index(const std::string& name) {
  if (name.size() < 3 || name.back() != ']') return name;
  std::size_t i = name.size() - 1;
  while (i > 0 && qiv::is_ascii_digit(name[i - 1])) --i;
  if (i == name.size() - 1 || i == 0 || name[i - 1] != '[') return name;
  return name.substr(0, i - 1);
}

const char* id3v2_field_of_frame_id(std::uint32_t id) {
  for (const frame_rule& r : rules)
    if (r.id == id) return r.field;
  return nullptr;
}

void id3v2_map_frame(const frame& f, unsigned version, bool strict, tag_field_map& fields) {
  if (f.is_raw()) return;
  const frame_rule* match = nullptr;
  for (const frame_rule& r : rules)
    if (r.id == f.id) match = &r;
  if (match == nullptr) return;
  const char first = char(f.id >> 24);
  if (strict && version < 4 && first == 'T') {
    // Version 2.3 ignores what follows a terminator: empty strings behind
    // the last one break no rule.
    const std::uint32_t wanted = f.id == frame_id("TXXX") ? 2u : 1u;
    if (id3v2_text_value_count(f) < wanted || id3v2_text_value_count_without_trailing_empties(f) > wanted)
      throw parseError();
  }
  if (strict && version < 32 && (match->strict_refused_in & (1u << version))) throw parseError();
  switch (match->kind) {
    case rule::text:
      fields.add_value(match->field, id3v2_text_value(f, 0, strict));
      break;
    case rule::multi:
      add_multi(f, version, strict, match->field, fields);
      break;
    case rule::number:
      fields.add_number_and_total(id3v2_text_value(f, 0, strict), match->field, match->total);
      break;
    case rule::year:
    case rule::day_month: {
      const bool had_date = fields.has("date");
      try {
        const std::string text = id3v2_text_value(f, 0, strict);
        if (match->kind == rule::year)
          map_year(text, strict, fields);
        else
          map_day_month(text, strict, fields);
      } catch (...) {
        if (!had_date) fields.remove("date");
        throw;
      }
      // An entry created only for the lookup goes again.
      if (!had_date) {
        const tag_field_map::values* date = fields.find("date");
        if (date != nullptr && (date->empty() || (*date)[0].empty())) fields.remove("date");
      }
      break;
    }
    case rule::genre:
      map_genre(f, version, strict, fields);
      break;
    case rule::comment: {
      const std::string description = id3v2_text_value(f, 0, strict);
      if (description.compare(0, 4, "iTun") == 0) break;
      const std::string value = id3v2_text_value(f, 1, strict);
      fields.add_value(description.empty() ? "comment" : "comment " + description, value);
      break;
    }
    case rule::lyrics:
      fields.add_value(match->field, id3v2_text_value(f, 1, strict));
      break;
    case rule::txxx:
      map_txxx(f, strict, fields);
      break;
    case rule::wxxx: {
      if (id3v2_text_value_count(f) < 2) {
        if (strict) throw parseError();
        break;
      }
      const std::string description = id3v2_text_value(f, 0, strict);
      fields.add_value(description.empty() ? "www" : "www " + description, id3v2_wxxx_url(f));
      break;
    }
    case rule::url:
      fields.add_value(match->field, id3v2_url_value(f));
      break;
    case rule::rating:
      map_rating(f, fields);
      break;
  }
}

void id3v2_fields_from_frames(const id3parser::tag& t, tag_field_map& fields) {
  for (const frame& f : t.frames) {
    try {
      id3v2_map_frame(f, t.version, false, fields);
    } catch (const id3parser::parseError&) {
      // One damaged frame costs only its own fields.
    }
  }
  // A compilation flag of "0" says the album is not a compilation.
  const tag_field_map::values* compilation = fields.find("itunescompilation");
  const bool is_compilation = compilation != nullptr && !(compilation->size() == 1 && (*compilation)[0] == "0");
  if (is_compilation && !fields.has("album artist")) fields.set_value("album artist", compilation_album_artist);
}

bool id3v2_parse_itunsmpb(const frame& f, std::uint64_t& encoder_delay, std::uint64_t& sample_count) {
  if (f.id != frame_id("COMM")) return false;
  std::string text;
  try {
    if (id3v2_text_value(f, 0, false) != "iTunSMPB") return false;
    text = id3v2_text_value(f, 1, false);
  } catch (const parseError&) {
    return false;
  }
  std::uint64_t words[4] = {};
  std::size_t word = 0, pos = 0;
  while (pos < text.size() && word < 4) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos >= text.size()) break;
    std::uint64_t value = 0;
    for (; pos < text.size() && text[pos] != ' '; ++pos) {
      const char c = text[pos];
      const unsigned digit = qiv::is_ascii_digit(c) ? unsigned(c - '0')
                             : (c >= 'a' && c <= 'f') ? unsigned(c - 'a' + 10)
                             : (c >= 'A' && c <= 'F') ? unsigned(c - 'A' + 10)
                                                      : 0u;
      value = value * 16 + digit;
    }
    words[word++] = value;
  }
  const std::uint64_t delay = words[1], samples = words[3];
  if (samples == 0 || delay + samples < delay) return false;
  encoder_delay = delay;
  sample_count = samples;
  return true;
}
