#include "metadata/cue/cue_sheet_edit.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "foundation/byte_compare.h"
#include "metadata/cue/cue_lines.h"

namespace {

using line = cue_sheet_edit::line;
using line_list = std::vector<line>;

// How a field is written on a line, as the reader takes it back.
struct line_form {
  enum quoting { always, never, when_blank };
  const char* field;
  const char* command;
  const char* rem_key;  // the word after REM; null for other commands
  quoting quotes;
  bool in_track;
  bool at_sheet;
};

// The fields the reader takes from sheet lines; TITLE before the first TRACK is the album.
constexpr line_form forms[] = {
    {"title", "TITLE", nullptr, line_form::always, true, false},
    {"album", "TITLE", nullptr, line_form::always, false, true},
    {"artist", "PERFORMER", nullptr, line_form::always, true, false},
    {"songwriter", "SONGWRITER", nullptr, line_form::always, true, true},
    {"isrc", "ISRC", nullptr, line_form::never, true, false},
    {"catalog", "CATALOG", nullptr, line_form::never, false, true},
    {"genre", "REM", "GENRE", line_form::when_blank, true, true},
    {"date", "REM", "DATE", line_form::when_blank, true, true},
    {"discid", "REM", "DISCID", line_form::when_blank, true, true},
    {"comment", "REM", "COMMENT", line_form::when_blank, true, true},
    {"replaygain_track_gain", "REM", "REPLAYGAIN_TRACK_GAIN", line_form::never, true, false},
    {"replaygain_track_peak", "REM", "REPLAYGAIN_TRACK_PEAK", line_form::never, true, false},
    {"replaygain_album_gain", "REM", "REPLAYGAIN_ALBUM_GAIN", line_form::never, true, true},
    {"replaygain_album_peak", "REM", "REPLAYGAIN_ALBUM_PEAK", line_form::never, true, true},
};

const line_form* find_form(const char* field, bool in_track) {
  for (const line_form& form : forms) {
    if (qiv::stricmp_ascii_equal(form.field, field) && (in_track ? form.in_track : form.at_sheet)) return &form;
  }
  return nullptr;
}

// The words of a line the reader looks at: the command and the word after it.
struct line_words {
  std::string_view indent;
  std::string_view command;
  std::string_view rest;  // everything after the command and its blanks
  std::string_view second;
  std::string_view after_second;  // from the first non-blank after the second word

  explicit line_words(std::string_view text) {
    std::size_t p = 0;
    auto take = [&](bool blanks) {
      const std::size_t start = p;
      while (p < text.size() && cue_parser::is_blank(text[p]) == blanks) ++p;
      return text.substr(start, p - start);
    };
    indent = take(true);
    command = take(false);
    take(true);
    const std::size_t second_start = p;
    second = take(false);
    take(true);
    after_second = text.substr(p);
    rest = text.substr(second_start);
  }
};

bool same_word(std::string_view word, const char* expected) {
  return qiv::stricmp_ascii_n(word.data(), word.size(), expected, std::strlen(expected)) == 0;
}

bool has_form(std::string_view text, const line_form& form) {
  const line_words words(text);
  return same_word(words.command, form.command) && (form.rem_key == nullptr || same_word(words.second, form.rem_key));
}

bool is_file_or_track(std::string_view text) {
  const line_words words(text);
  return same_word(words.command, "FILE") || same_word(words.command, "TRACK");
}

bool is_index_or_gap(std::string_view text) {
  const line_words words(text);
  return same_word(words.command, "INDEX") || same_word(words.command, "PREGAP") ||
         same_word(words.command, "POSTGAP");
}

// The number of a TRACK line; 0 for any other line.
std::uint32_t track_number_of_line(std::string_view text) {
  const line_words words(text);
  if (!same_word(words.command, "TRACK") || words.second.empty()) return 0;
  std::uint32_t number = 0;
  for (char c : words.second) {
    if (c < '0' || c > '9') return 0;
    number = std::min<std::uint32_t>(number * 10 + std::uint32_t(c - '0'), 100);
  }
  return number < 100 ? number : 0;
}

std::string joined_values(const std::vector<std::string>& values) {
  std::string text;
  for (std::size_t v = 0; v < values.size(); ++v) {
    if (v) text += ", ";
    text += values[v];
  }
  return text;
}

// The line after its indentation; `was_quoted` keeps the quotes a REM value had.
std::string line_body(const line_form& form, const std::string& value, bool was_quoted) {
  std::string body = form.command;
  body += ' ';
  if (form.rem_key) body += std::string(form.rem_key) + ' ';
  const bool blank_inside = value.find_first_of(" \t") != std::string::npos;
  const bool quote =
      form.quotes == line_form::always || (form.quotes == line_form::when_blank && (blank_inside || was_quoted));
  return body + (quote ? cue_parser::quote_value(value) : cue_parser::escape_value(value));
}

void insert(line_list& lines, const std::string& line_end, std::size_t at, std::string text, std::uint32_t track) {
  line added{std::move(text), line_end, track};
  // A last line without a line end gets one, and the added line goes without.
  if (at == lines.size() && at > 0 && lines[at - 1].end.empty()) {
    lines[at - 1].end = line_end;
    added.end.clear();
  }
  lines.insert(lines.begin() + std::ptrdiff_t(at), std::move(added));
}

// The indentation of the track's other lines; two blanks deeper than TRACK when it has none.
std::string indent_inside(const line_list& lines, std::size_t track_line) {
  for (std::size_t i = track_line + 1; i < lines.size() && !is_file_or_track(lines[i].text); ++i) {
    const line_words words(lines[i].text);
    if (!words.command.empty()) return std::string(words.indent);
  }
  return std::string(line_words(lines[track_line].text).indent) + "  ";
}

// The lines of the form in the track's sections (track 0: the sheet level)
// take the value, or go when it is empty; without one, a line is added.
void set_value(line_list& lines, const std::string& line_end, const line_form& form, std::uint32_t track,
               const std::string& value) {
  bool replaced = false;
  for (std::size_t i = 0; i < lines.size();) {
    line& l = lines[i];
    if (l.track != track || !has_form(l.text, form)) {
      ++i;
      continue;
    }
    if (value.empty()) {
      lines.erase(lines.begin() + std::ptrdiff_t(i));
      continue;
    }
    const line_words words(l.text);
    const std::string_view old_value = form.rem_key ? words.after_second : words.rest;
    l.text = std::string(words.indent) + line_body(form, value, !old_value.empty() && old_value[0] == '"');
    replaced = true;
    ++i;
  }
  if (replaced || value.empty()) return;
  if (track == 0) {
    std::size_t at = 0;
    while (at < lines.size() && !is_file_or_track(lines[at].text)) ++at;
    insert(lines, line_end, at, line_body(form, value, false), 0);
    return;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (track_number_of_line(lines[i].text) != track) continue;
    // Before the track's indexes, where rippers put its values.
    std::size_t at = i + 1;
    while (at < lines.size() && !is_file_or_track(lines[at].text) && !is_index_or_gap(lines[at].text)) ++at;
    insert(lines, line_end, at, indent_inside(lines, i) + line_body(form, value, false), track);
    return;
  }
}

}  // namespace

cue_sheet_edit::cue_sheet_edit(const char* text) {
  // Kept apart, so that the first line reads as its command.
  byte_order_mark_.assign(text, cue_parser::utf8_bom_length(text));
  bool end_found = false;
  std::uint32_t track = 0;
  for (const char* p = text + byte_order_mark_.size(); *p != '\0';) {
    const char* start = p;
    while (*p != '\0' && *p != '\r' && *p != '\n') ++p;
    line l{std::string(start, p), {}, 0};
    if (*p == '\r') l.end += *p++;
    if (*p == '\n') l.end += *p++;
    if (!end_found && !l.end.empty()) line_end_ = l.end, end_found = true;
    if (const std::uint32_t number = track_number_of_line(l.text)) track = number;
    l.track = track;
    lines_.push_back(std::move(l));
  }
}

bool cue_sheet_edit::has_track_line(const char* field) { return find_form(field, true) != nullptr; }

bool cue_sheet_edit::has_sheet_line(const char* field) { return find_form(field, false) != nullptr; }

void cue_sheet_edit::set_track_value(std::uint32_t track, const char* field, const std::vector<std::string>& values) {
  if (const line_form* form = find_form(field, true); form && track != 0) {
    set_value(lines_, line_end_, *form, track, joined_values(values));
  }
}

void cue_sheet_edit::set_sheet_value(const char* field, const std::vector<std::string>& values) {
  const line_form* form = find_form(field, false);
  if (!form) return;
  // The tracks' own lines would win over the sheet-level one.
  if (const line_form* in_track = find_form(field, true)) {
    std::erase_if(lines_, [&](const line& l) { return l.track != 0 && has_form(l.text, *in_track); });
  }
  set_value(lines_, line_end_, *form, 0, joined_values(values));
}

void cue_sheet_edit::remove_sheet_value(const char* field) {
  if (const line_form* form = find_form(field, false)) set_value(lines_, line_end_, *form, 0, {});
}

void cue_sheet_edit::remove_sheet_performer() { set_value(lines_, line_end_, *find_form("artist", true), 0, {}); }

std::string cue_sheet_edit::text() const {
  std::string out = byte_order_mark_;
  for (const line& l : lines_) out += l.text + l.end;
  return out;
}
