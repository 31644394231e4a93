#include "properties/edited_field.h"

#include <iterator>

#include "core/localized_text.h"
#include "properties/field_display_context.h"

namespace {

const value_list no_values;

std::size_t utf8_char_count(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

bool is_line_break(char c) { return c == '\r' || c == '\n'; }

std::string_view without_outer_line_breaks(std::string_view text) {
  while (!text.empty() && is_line_break(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_line_break(text.back())) text.remove_suffix(1);
  return text;
}

// Lines end at CR LF, LF or a lone CR.
template <typename Visit>
void for_each_line(std::string_view text, Visit&& visit) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < text.size() && !is_line_break(text[end])) ++end;
    visit(text.substr(start, end - start));
    if (end == text.size()) return;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

}  // namespace

const value_list& edited_field::values(std::uint32_t track) const {
  const auto found = per_track_.find(track);
  return found == per_track_.end() ? no_values : *found->second;
}

void edited_field::set_values(std::uint32_t track, value_list values) {
  // Tracks are mostly filled in order, and neighbours (an album's tracks)
  // mostly agree.
  for (const std::uint32_t neighbour : {track - 1, track + 1}) {
    const auto found = per_track_.find(neighbour);
    if (found != per_track_.end() && *found->second == values) {
      per_track_[track] = found->second;
      return;
    }
  }
  per_track_[track] = std::make_shared<const value_list>(std::move(values));
}

void edited_field::set_values_all(const value_list& values) {
  const auto shared = std::make_shared<const value_list>(values);
  for (std::uint32_t track = 0; track < track_count; ++track) per_track_[track] = shared;
}

void edited_field::transform_values(const std::function<void(value_list&)>& transform) {
  std::map<std::shared_ptr<const value_list>, std::shared_ptr<const value_list>> changed;
  for (auto& [track, list] : per_track_) {
    std::shared_ptr<const value_list>& done = changed[list];
    if (!done) {
      auto copy = std::make_shared<value_list>(*list);
      transform(*copy);
      done = std::move(copy);
    }
    list = done;
  }
}

std::string edited_field::joined_value(std::uint32_t track) const {
  std::string joined;
  bool first = true;
  for (const std::string& value : values(track)) {
    if (!first) joined += "; ";
    joined += value;
    first = false;
  }
  return joined;
}

bool edited_field::all_identical() const {
  if (track_count == 0) return false;
  const value_list& first = values(0);
  for (std::uint32_t track = 1; track < track_count; ++track) {
    const value_list& other = values(track);
    if (&other != &first && other != first) return false;
  }
  return true;
}

bool edited_field::any_value() const {
  for (const auto& [track, list] : per_track_)
    if (track < track_count && !list->empty()) return true;
  return false;
}

std::string edited_field::display_text() const {
  if (all_identical()) return joined_value(0);
  std::string text = "\xC2\xAB";
  text += localized_text::get("properties_multiple_values");
  text += "\xC2\xBB ";
  std::vector<const std::string*> listed;
  for (std::uint32_t track = 0; track < track_count; ++track)
    for (const std::string& value : values(track)) {
      if (value.empty()) continue;
      bool seen = false;
      for (const std::string* earlier : listed)
        if (*earlier == value) seen = true;
      if (seen) continue;
      if (listed.size() > 100 || utf8_char_count(text) > 200) return text + " ...";
      if (!listed.empty()) text += "; ";
      text += value;
      listed.push_back(&value);
    }
  return text;
}

void edited_field::set_value(std::string_view text, std::uint32_t track, const field_display_context& context) {
  value_list parsed;
  // A multi-line box puts a line break after the text when Enter is pressed:
  // one at either end is never part of a value.
  text = without_outer_line_breaks(text);
  if (context.is_multi_value(name)) {
    // Each line holds values of its own; blank lines hold none.
    for_each_line(text, [&](std::string_view line) {
      if (line.empty()) return;
      value_list pieces = split_values(line);
      parsed.insert(parsed.end(), std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
    });
  } else if (!text.empty()) {
    parsed.emplace_back(text);
  }
  if (track == all_tracks)
    set_values_all(parsed);
  else
    set_values(track, std::move(parsed));
}

value_list split_values(std::string_view text) {
  value_list values;
  if (text.empty()) return values;
  std::size_t start = 0;
  for (;;) {
    while (start < text.size() && text[start] == ' ') ++start;
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    values.emplace_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + 1;
  }
  return values;
}
