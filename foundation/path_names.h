// The file-name pieces of a path or URL-like location. A separator is a
// backslash, "/", "|" (archive members) or ":" (scheme and drive); a "?"
// starts a suffix that is not part of the file name (a sub-item selector).
#pragma once

#include <cstddef>

#include "foundation/string_buffer.h"

namespace qiv {

// Room for an extension of up to 31 bytes and its NUL.
inline constexpr std::size_t extension_buffer_size = 32;

inline bool is_path_separator(char c) { return c == '\\' || c == '/' || c == '|' || c == ':'; }

// Offset just after the last separator; 0 when there is none.
std::size_t scan_filename(const char* path);

// The file name with its extension, up to the first "?".
string_buffer string_filename_ext(const char* path);

// The file name up to its last "." before any "?". A name with no such "."
// or only a leading one (".hidden") is returned whole, "?" part included.
string_buffer string_filename(const char* path);

// Writes the extension of the file name, without the ".", into `extension`
// (extension_buffer_size bytes): the text after the name's last ".", cut at
// the first "?" after it. "c:/a/.cue" gives "cue". No extension, or one of
// 32 bytes or more, writes "".
void filename_extension_offset(const char* path, char* extension);

// Appends a backslash unless the text already ends with one; an empty text
// becomes a single backslash.
void string_add_trailing_backslash(string_object& text);

} // namespace qiv
