// The values a pattern such as "%artist% - %title%" takes out of one source
// string per track (a file name or a clipboard line), gathered into one
// column per field in the order the fields first got a value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class field_display_context;

class autofill_match_table {
public:
  struct column {
    std::string name;
    std::vector<std::string> values;  // one per track, empty when none
  };

  autofill_match_table(std::size_t track_count, const field_display_context& context);

  // A name spelled as a standard field's display name (any case) stores into
  // that field; names differing only in case share one column, spelled as
  // first seen. A later value for the same track replaces the earlier one.
  void store(std::size_t track, std::string_view name, std::string value);

  const std::vector<column>& columns() const noexcept { return columns_; }
  std::size_t track_count() const noexcept { return track_count_; }

private:
  std::size_t track_count_;
  // The standard fields' display names, looked up once per table.
  std::vector<std::string> display_names_;
  std::vector<column> columns_;
};

// Stores what `pattern` extracts from `source` for one track. The pattern is
// literal text with "%name%" markers and no escape; each value ends at the
// first occurrence of the literal after its marker (blanks matching any run
// of blanks), or at the end of the source when that literal is empty or
// absent. An unclosed marker ends the matching.
void match_pattern(autofill_match_table& table, std::size_t track, std::string_view pattern,
                   std::string_view source);
