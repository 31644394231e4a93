#include "properties/autofill_match_table.h"

#include "foundation/case_folding.h"
#include "properties/autofill_text.h"
#include "properties/field_display_context.h"

namespace {

bool same_name(std::string_view a, std::string_view b) {
  return qiv::compare_nocase_ex(a.data(), a.size(), b.data(), b.size()) == 0;
}

}  // namespace

autofill_match_table::autofill_match_table(std::size_t track_count, const field_display_context& context)
    : track_count_(track_count) {
  for (const char* standard : field_display_context::standard_fields())
    display_names_.push_back(context.display_name(standard));
}

void autofill_match_table::store(std::size_t track, std::string_view name, std::string value) {
  if (track >= track_count_) return;
  std::string key(name);
  for (std::size_t i = 0; i < display_names_.size(); ++i) {
    if (same_name(display_names_[i], name)) {
      key = field_display_context::standard_fields()[i];
      break;
    }
  }
  for (column& existing : columns_) {
    if (same_name(existing.name, key)) {
      existing.values[track] = std::move(value);
      return;
    }
  }
  columns_.push_back({std::move(key), std::vector<std::string>(track_count_)});
  columns_.back().values[track] = std::move(value);
}

void match_pattern(autofill_match_table& table, std::size_t track, std::string_view pattern,
                   std::string_view source) {
  std::size_t at = 0;  // in the source
  std::size_t p = pattern.find('%');
  if (p == std::string_view::npos) p = pattern.size();
  // A leading literal that does not match leaves the values to start at the
  // beginning, so a stray prefix in the pattern costs nothing.
  if (p > 0) {
    if (const auto after = match_blank_insensitive(source, pattern.substr(0, p))) at = *after;
  }
  while (p < pattern.size() && pattern[p] == '%' && at < source.size()) {
    const std::size_t close = pattern.find('%', p + 1);
    if (close == std::string_view::npos) return;
    const std::string_view name = pattern.substr(p + 1, close - p - 1);
    std::size_t next = pattern.find('%', close + 1);
    if (next == std::string_view::npos) next = pattern.size();
    const std::string_view terminator = pattern.substr(close + 1, next - close - 1);

    std::size_t end = source.size();
    std::size_t resume = source.size();
    if (!terminator.empty()) {
      for (std::size_t from = at; from < source.size(); ++from) {
        if (const auto after = match_blank_insensitive(source.substr(from), terminator)) {
          end = from;
          resume = from + *after;
          break;
        }
      }
    }
    if (!name.empty() && end > at) {
      std::string value(source.substr(at, end - at));
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
      table.store(track, name, std::move(value));
    }
    at = resume;
    p = next;
  }
}
