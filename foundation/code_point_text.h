// UTF-8 text taken code point by code point: appending one, upper-casing a
// text, and the case-insensitive order by code point value.
#pragma once

#include <cstdint>

namespace qiv {

class string_object;

// Appends the code point as UTF-8; one above 0x7FFFFFFF has no UTF-8 form
// and appends nothing.
void string_add_char_utf8(string_object& text, std::uint32_t code_point);

// Appends the upper-case form of the text, stopping at its NUL or at the
// first byte sequence that does not decode.
void string_to_upper_utf8(string_object& output, const char* text);

// Case-insensitive order by the unsigned value of the lower-cased code
// points: -1, 0 or 1. A text that ends first orders first. Unlike the byte
// orders it puts "Ä" beside "ä", but after every ASCII letter; unlike the
// natural order it reads digits one by one. An invalid sequence orders after
// the end of a text and before any character, two of them by their bytes, so
// that texts with different bytes never compare equal.
int stricmp_utf8(const char* a, const char* b);

} // namespace qiv
