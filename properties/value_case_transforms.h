// The two value transforms of the tag editor: capitalisation (each word
// starts upper case, the rest lower case) and clean-up (blanks, tabs and
// underscores trimmed at the ends and each run inside made one blank).
#pragma once

#include <string>
#include <string_view>

std::string capitalize_text(std::string_view text);
std::string clean_up_text(std::string_view text);

// The forms the metadata list's commands hand to transform_rows.
struct capitalize_transform {
  void operator()(std::string& value) const { value = capitalize_text(value); }
};
struct clean_up_transform {
  void operator()(std::string& value) const { value = clean_up_text(value); }
};
