#include "foundation/path_parent.h"

#include <cstring>

namespace qiv {

namespace {

constexpr char separators[] = "\\/|";
// Characters after which a separator belongs to the prefix: the separators
// themselves ("file://", "\\server") and what only a prefix or a pattern can
// hold before one.
constexpr char prefix_ends[] = "\\/|:<>*?\"";

bool is_one_of(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

} // namespace

string_buffer path_parent(const char* path) {
  const std::size_t length = std::strlen(path);
  std::size_t end = length;
  while (end > 0 && !is_one_of(path[end - 1], separators)) --end;
  if (end == 0) return string_buffer();

  std::size_t cut = end - 1;  // the separator's position
  if (cut > 0 && is_one_of(path[cut - 1], prefix_ends)) {
    ++cut;
    if (cut == length) return string_buffer();
  }
  return string_buffer(path, cut);
}

} // namespace qiv
