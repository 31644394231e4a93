// The names fields are shown by: the fourteen standard fields by their
// localised names, every other field by its own name. The tag editor lists
// fields by them, and errors about one field name it the same way, so that
// a message speaks of the field as the user sees it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace field_display_names {

inline constexpr std::size_t standard_count = 14;
// The order the tag editor's metadata list shows them in.
const std::array<const char*, standard_count>& standard_fields();
// The standard field of that name (code points lower-cased), or -1.
int standard_index(std::string_view name);
// The localised name of a standard field (empty where the language has
// none), else the name upper-cased in "<" ">": as the tag editor lists it.
std::string display_name(std::string_view name);
// The same for a message, which may be made where no language is loaded
// (the console tool): a standard field's English name stands for a missing
// localised one.
std::string display_name_in_message(std::string_view name);

}  // namespace field_display_names
