#include "foundation/path_names.h"

#include <cstring>

#include "foundation/text_search.h"

namespace qiv {

namespace {

// Offset of the last `c` in [0, length), or not_found.
std::size_t last_of(const char* text, std::size_t length, char c) {
  for (std::size_t i = length; i > 0; --i) {
    if (text[i - 1] == c) return i - 1;
  }
  return not_found;
}

} // namespace

std::size_t scan_filename(const char* path) {
  std::size_t after_separator = 0;
  for (std::size_t i = 0; path[i] != '\0'; ++i) {
    if (is_path_separator(path[i])) after_separator = i + 1;
  }
  return after_separator;
}

string_buffer string_filename_ext(const char* path) {
  const char* name = path + scan_filename(path);
  return string_buffer(name, std::strcspn(name, "?"));
}

string_buffer string_filename(const char* path) {
  const char* name = path + scan_filename(path);
  const std::size_t dot = last_of(name, std::strcspn(name, "?"), '.');
  if (dot == not_found || dot == 0) return string_buffer(name);
  return string_buffer(name, dot);
}

void filename_extension_offset(const char* path, char* extension) {
  extension[0] = '\0';
  const char* name = path + scan_filename(path);
  const std::size_t dot = last_of(name, std::strlen(name), '.');
  if (dot == not_found) return;
  const char* start = name + dot + 1;
  const std::size_t length = std::strcspn(start, "?");
  if (length >= extension_buffer_size) return;
  std::memcpy(extension, start, length);
  extension[length] = '\0';
}

void string_add_trailing_backslash(string_object& text) {
  if (!string_ends_with_char(text, '\\')) text.add_string("\\");
}

} // namespace qiv
