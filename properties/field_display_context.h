// What the tag editor knows about field names for one dialog: the fourteen
// standard fields with their display names, and which fields are edited as
// several lines or as several values. Read once when a dialog opens, so a
// changed setting applies to the next dialog.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/field_display_names.h"

class field_display_context {
public:
  static constexpr std::size_t standard_count = field_display_names::standard_count;
  // The order the metadata list shows them in, whatever the tracks hold.
  static const std::array<const char*, standard_count>& standard_fields();

  // From the advanced settings' texts: names separated by ";".
  field_display_context(std::string_view multi_line_names, std::string_view multi_value_names);
  // From the current advanced settings.
  field_display_context();

  // The localised name of a standard field, else the name upper-cased in "<" ">".
  std::string display_name(std::string_view name) const;
  bool is_multi_line(std::string_view name) const;
  bool is_multi_value(std::string_view name) const;
  // The standard field of that name (code points lower-cased), or -1.
  static int standard_index(std::string_view name);

private:
  std::vector<std::string> multi_line_;
  std::vector<std::string> multi_value_;
};

// The pieces of a ";"-separated name list, empty pieces skipped and the
// others kept exactly as written (spaces included).
std::vector<std::string> split_field_name_list(std::string_view text);

// ASCII letters folded, every other byte exact: how field names are matched
// against a track's info.
bool field_names_equal(std::string_view a, std::string_view b);
int compare_field_names(std::string_view a, std::string_view b);
