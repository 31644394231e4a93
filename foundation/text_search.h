// Small searches over bounded text and the line helpers used before a text is
// shown on one line.
#pragma once

#include <cstddef>

namespace qiv {

class string_object;

// Position returned when nothing is found.
inline constexpr std::size_t not_found = ~static_cast<std::size_t>(0);

// Index of the first c within n bytes; not_found when absent or when a NUL
// comes first.
std::size_t strchr_n(const char* text, std::size_t n, char c);

// First index in [start, limit) that holds c, NUL bytes included; limit when
// none does.
std::size_t find_char_from(const char* text, std::size_t limit, std::size_t start, char c);

// Index of the first occurrence of the NUL-terminated needle at or after start
// in the text bounded by its NUL or max_length; an empty needle gives start;
// not_found when no occurrence fits.
std::size_t strstr_n(const char* text, std::size_t max_length, const char* needle, std::size_t start);

bool string_ends_with_char(const string_object& text, char c);

// True when the text holds a CR or LF before its NUL.
bool has_line_break(const char* text);

// Cuts the string before its first CR or LF and marks the cut with " (...)";
// false, and the string unchanged, when it has no line break.
bool string_first_line(string_object& text);

} // namespace qiv
