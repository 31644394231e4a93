// Texts cut to fit a field of a fixed number of bytes. The cut falls before
// the character the limit would split: half a character makes other readers
// refuse the whole text (or, in a double-byte code page, swallow what
// follows the field).
#pragma once

#include <cstddef>
#include <string>

namespace qiv {

// Bytes of the longest start of the `length` bytes of UTF-8 at `text` that
// fits in `max_bytes` without ending inside a character. A text that fits is
// kept whole, and bytes that are no valid UTF-8 count as characters of one
// byte each, so nothing is lost that the limit leaves room for.
std::size_t utf8_cut_length(const char* text, std::size_t length, std::size_t max_bytes) noexcept;

// The UTF-8 text converted to the code page (as utf8_to_code_page does) and
// cut before the first character whose bytes would pass `max_bytes`; a
// surrogate pair counts as one character.
std::string utf8_to_code_page_cut(const char* text, std::size_t length, unsigned code_page, std::size_t max_bytes);

}  // namespace qiv
