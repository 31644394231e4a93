#include "properties/edited_rows.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/utf8.h"
#include "properties/autofill_text.h"

namespace {

struct field_name_order {
  bool operator()(const std::string& a, const std::string& b) const { return compare_field_names(a, b) < 0; }
};

bool names_equal_folded(const std::string& a, const std::string& b) {
  return qiv::compare_nocase_ex(a.data(), a.size(), b.data(), b.size()) == 0;
}

bool is_path_separator(char c) { return c == '\\' || c == '/' || c == '|' || c == ':'; }

std::string_view folder_of(const char* path) {
  std::string_view text(path);
  std::size_t end = text.size();
  while (end > 0 && !is_path_separator(text[end - 1])) --end;
  return text.substr(0, end);
}

bool is_blank_or_line_end(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_letter(std::uint32_t c) { return c < 0x10000 && IsCharAlphaW(wchar_t(c)); }

// One code point at `at`; an undecodable byte stands for itself.
std::size_t decode_at(std::string_view text, std::size_t at, std::uint32_t& c) {
  const std::size_t length = qiv::utf8_decode_char_n(text.data() + at, text.size() - at, c);
  if (length == 0) {
    c = static_cast<unsigned char>(text[at]);
    return 1;
  }
  return length;
}

// The byte length the separator covers at `at`, or 0 when it does not
// match there as a word or a symbol.
std::size_t separator_match(std::string_view text, std::size_t at, std::string_view separator) {
  std::size_t t = at, s = 0;
  std::uint32_t first = 0, last = 0;
  while (s < separator.size()) {
    if (t >= text.size()) return 0;
    std::uint32_t sc = 0, tc = 0;
    const bool separator_start = s == 0;
    s += decode_at(separator, s, sc);
    if (separator_start) first = sc;
    t += decode_at(text, t, tc);
    if (qiv::char_lower(sc) != qiv::char_lower(tc)) return 0;
    last = sc;
  }
  if (is_letter(first) && at > 0 && !is_blank_or_line_end(text[at - 1])) return 0;
  if (is_letter(last) && t < text.size() && !is_blank_or_line_end(text[t])) return 0;
  return t - at;
}

void add_piece(value_list& pieces, std::string_view piece) {
  while (!piece.empty() && is_blank_or_line_end(piece.back())) piece.remove_suffix(1);
  if (!piece.empty()) pieces.emplace_back(piece);
}

}  // namespace

void edited_rows::build(const field_display_context& context, track_info_source& source,
                        const track_handle_list& tracks) {
  // The old rows go first: a large selection must not be held twice.
  rows_.clear();
  loaded_.clear();
  context_ = context;
  tracks_ = tracks;
  const std::uint32_t count = track_count();
  info_read_.assign(count, false);
  std::map<std::string, edited_field_ptr, field_name_order> by_name;
  for (const char* name : field_display_context::standard_fields())
    by_name.emplace(name, std::make_shared<edited_field>(name, count));
  for (std::uint32_t track = 0; track < count; ++track) {
    const track_info* info = source.find_info(track, tracks_[track]);
    if (info == nullptr) continue;
    info_read_[track] = true;
    for (std::uint32_t field = 0; field < info->field_count(); ++field) {
      const std::string name = info->field_name(field);
      edited_field_ptr& row = by_name[name];
      if (!row) row = std::make_shared<edited_field>(name, count);
      // A name the info holds twice (in two spellings) gathers both fields'
      // values: the rewrite must not keep only the last one.
      value_list values = row->values(track);
      values.reserve(values.size() + info->field_value_count(field));
      for (std::uint32_t v = 0; v < info->field_value_count(field); ++v) values.emplace_back(info->field_value(field, v));
      row->set_values(track, std::move(values));
    }
  }
  rows_.clear();
  for (const char* name : field_display_context::standard_fields()) {
    const auto found = by_name.find(name);
    rows_.push_back(found->second);
    by_name.erase(found);
  }
  for (auto& [name, row] : by_name) rows_.push_back(row);
  // Copies, not the rows themselves: the edits change rows in place.
  loaded_.clear();
  loaded_.reserve(rows_.size());
  for (const edited_field_ptr& row : rows_) loaded_.push_back(*row);
}

std::size_t edited_rows::set_row_by_name(edited_field_ptr field) {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (names_equal_folded(rows_[i]->name, field->name)) {
      rows_[i] = std::move(field);
      return i;
    }
  rows_.push_back(std::move(field));
  return rows_.size() - 1;
}

void edited_rows::replace_row(std::size_t index, edited_field_ptr field) { rows_.at(index) = std::move(field); }

edited_field_list edited_rows::copy_all() const {
  edited_field_list copies;
  copies.reserve(rows_.size());
  for (const edited_field_ptr& row : rows_) copies.push_back(std::make_shared<edited_field>(*row));
  return copies;
}

void edited_rows::remove_rows(const std::vector<bool>& mask) {
  for (std::size_t i = std::min(mask.size(), rows_.size()); i-- > 0;) {
    if (!mask[i]) continue;
    if (field_display_context::standard_index(rows_[i]->name) >= 0) {
      auto emptied = std::make_shared<edited_field>(rows_[i]->name, track_count());
      emptied->set_values_all({});
      rows_[i] = std::move(emptied);
    } else {
      rows_.erase(rows_.begin() + std::ptrdiff_t(i));
    }
  }
}

edited_field_ptr edited_rows::fitted_paste(const edited_field& pasted, const std::string& name) const {
  auto fitted = std::make_shared<edited_field>(name, track_count());
  if (pasted.track_count == 1 && track_count() > 1) {
    fitted->set_values_all(pasted.values(0));
  } else {
    // Tracks beyond this dialog's have nowhere to go.
    pasted.for_each_track([&](std::uint32_t track, const value_list& values) {
      if (track < track_count()) fitted->set_values(track, values);
    });
  }
  return fitted;
}

void edited_rows::paste_into_row(std::size_t index, const edited_field& pasted) {
  rows_.at(index) = fitted_paste(pasted, rows_.at(index)->name);
}

std::vector<std::size_t> edited_rows::paste_fields(const edited_field_list& pasted) {
  std::vector<std::size_t> appended;
  for (const edited_field_ptr& field : pasted) {
    std::size_t row = 0;
    while (row < rows_.size() && !field_names_equal(rows_[row]->name, field->name)) ++row;
    if (row < rows_.size()) {
      paste_into_row(row, *field);
    } else {
      rows_.push_back(fitted_paste(*field, field->name));
      appended.push_back(rows_.size() - 1);
    }
  }
  return appended;
}

void edited_rows::set_row_text(std::size_t index, std::string_view text) {
  auto edited = std::make_shared<edited_field>(*rows_.at(index));
  edited->set_value(text, edited_field::all_tracks, context_);
  rows_[index] = std::move(edited);
}

void edited_rows::transform_rows(const std::vector<bool>& selection,
                                 const std::function<void(std::string&)>& transform) {
  for (std::size_t i = 0; i < std::min(selection.size(), rows_.size()); ++i) {
    if (!selection[i]) continue;
    auto edited = std::make_shared<edited_field>(*rows_[i]);
    edited->transform_values([&](value_list& values) {
      for (std::string& value : values) transform(value);
    });
    rows_[i] = std::move(edited);
  }
}

void edited_rows::split_rows(const std::vector<bool>& selection, const std::vector<std::string>& separators) {
  for (std::size_t i = 0; i < std::min(selection.size(), rows_.size()); ++i) {
    if (!selection[i]) continue;
    auto edited = std::make_shared<edited_field>(*rows_[i]);
    edited->transform_values([&](value_list& values) {
      if (values.empty()) return;
      value_list pieces;
      for (const std::string& value : values)
        for (std::string& piece : split_value(value, separators)) pieces.push_back(std::move(piece));
      values = std::move(pieces);
    });
    rows_[i] = std::move(edited);
  }
}

void edited_rows::auto_track_number() {
  const std::uint32_t count = track_count();
  auto numbers = std::make_shared<edited_field>("tracknumber", count);
  auto totals = std::make_shared<edited_field>("totaltracks", count);
  std::uint32_t run_start = 0;
  while (run_start < count) {
    const std::string_view folder = folder_of(tracks_[run_start]->get_location().get_path());
    std::uint32_t run_end = run_start + 1;
    while (run_end < count) {
      const std::string_view next = folder_of(tracks_[run_end]->get_location().get_path());
      if (qiv::compare_nocase_ex(folder.data(), folder.size(), next.data(), next.size()) != 0) break;
      ++run_end;
    }
    const std::string total = std::to_string(run_end - run_start);
    for (std::uint32_t track = run_start; track < run_end; ++track) {
      numbers->set_values(track, {std::to_string(track - run_start + 1)});
      totals->set_values(track, {total});
    }
    run_start = run_end;
  }
  set_row_by_name(std::move(numbers));
  set_row_by_name(std::move(totals));
}

service_ptr<edited_fields_filter> edited_rows::make_update_filter() const {
  return service_ptr<edited_fields_filter>(new service_counted<edited_fields_filter>(tracks_, info_read_, loaded_, rows_));
}

std::vector<std::string> split_separators(std::string_view stored, bool split_lines_too) {
  std::vector<std::string> separators;
  if (!stored.empty()) separators = split_lines(stored);
  if (split_lines_too) separators.emplace_back("\n");
  return separators;
}

value_list split_value(std::string_view value, const std::vector<std::string>& separators) {
  value_list pieces;
  std::size_t piece_start = 0, at = 0;
  while (at < value.size()) {
    std::size_t matched = 0;
    for (const std::string& separator : separators) {
      // An empty separator (a blank line in the setting) would match
      // everywhere without moving on.
      if (separator.empty()) continue;
      matched = separator_match(value, at, separator);
      if (matched != 0) break;
    }
    if (matched == 0) {
      std::uint32_t c = 0;
      at += decode_at(value, at, c);
      continue;
    }
    add_piece(pieces, value.substr(piece_start, at - piece_start));
    at += matched;
    while (at < value.size() && is_blank_or_line_end(value[at])) ++at;
    piece_start = at;
  }
  if (piece_start < value.size()) pieces.emplace_back(value.substr(piece_start));
  return pieces;
}
