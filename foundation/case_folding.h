// Case folding of UTF-8 text and the case-insensitive comparisons built on
// it. One code point folds to one code point: A-Z and a-z by the ASCII rule,
// code points 128 to 0xFFFF one UTF-16 unit at a time through the system's
// case mapping, everything else unchanged. There are no multi-character
// folds, so "straße" and "STRASSE" differ.
//
// The comparisons below order texts differently on purpose (a prefix test, a
// bounded order, a system collation); callers pick the one whose order their
// data was kept in, so they must not be merged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

class string_object;

std::uint32_t char_lower(std::uint32_t code_point);
std::uint32_t char_upper(std::uint32_t code_point);

// 0 when the two fold to the same lower-case code point, else -1 or 1 by the
// unsigned order of the lower-case code points.
int compare_char_nocase(std::uint32_t a, std::uint32_t b);

// The case-insensitive order of NUL-terminated texts: -1, 0 or 1. Upper-case
// letters fold to lower case, so "A" orders after "_". A text that ends
// orders before one that goes on; an invalid sequence orders after the end
// of a text and before any character, and two invalid sequences by their
// bytes, so that only equal texts compare equal.
int compare_nocase(const char* a, const char* b);

// Compares at most `max_chars` code points and answers 0 as soon as `b` ends
// (at its NUL or an invalid sequence): a case-insensitive "a starts with b"
// within the limit. An `a` that ends first compares smaller.
int compare_nocase_n(const char* a, const char* b, std::size_t max_chars);

// compare_nocase over texts of given lengths, each first cut at its NUL.
int compare_nocase_ex(const char* a, std::size_t length_a, const char* b, std::size_t length_b);

// True when the first `max_bytes` bytes of `text` (fewer when its NUL comes
// first) equal the NUL-terminated `search` ignoring case. Only readable text
// matches: an invalid sequence on either side makes the answer false.
bool equals_nocase_n(const char* text, const char* search, std::size_t max_bytes);

// Appends `text` to `output` with every non-overlapping case-insensitive
// match of `search` replaced by `replacement`; returns the number of
// replacements. An empty search appends nothing and returns 0.
std::size_t replace_nocase(string_object& output, const char* text, const char* search,
                           const char* replacement);

// Append the text folded to lower case (at most `max_bytes` bytes of it) or
// to upper case, stopping at a NUL or an invalid sequence.
void string_add_lower(string_object& output, const char* text, std::size_t max_bytes);
void string_add_upper(string_object& output, const char* text);

// Order by the system's case-insensitive collation (accented letters beside
// their base letters), asked one pair of differing code points at a time; a
// text ends at its NUL or an invalid sequence. The result is the system's
// own: negative, 0 or positive.
int stricmp_utf8_system(const char* a, const char* b);

} // namespace qiv
