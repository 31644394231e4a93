#include "metadata/field_name_set.h"

#include <cstring>

#include "foundation/byte_compare.h"

namespace field_name_set {

namespace {

// A constant table rather than a map filled at start-up: nothing to build or
// free, and a lookup over eight short names is as quick as a tree walk.
constexpr const char* names[field_count] = {
    "Title", "Artist", "Album Artist", "Genre", "Album", "TrackNumber", "DiscNumber", "Date",
};

} // namespace

const char* name_of(std::uint32_t index) noexcept { return index < field_count ? names[index] : ""; }

bool find(const char* name, std::size_t length, std::uint32_t& index) noexcept {
  if (name == nullptr) return false;
  for (std::uint32_t i = 0; i < field_count; ++i) {
    if (qiv::stricmp_ascii_n(name, length, names[i], std::strlen(names[i])) == 0) {
      index = i;
      return true;
    }
  }
  return false;
}

} // namespace field_name_set
