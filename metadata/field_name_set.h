// The eight display fields every track handle caches, by index. The index is
// the slot of the field in a track_display_info, so the order is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace field_name_set {

constexpr std::uint32_t field_count = 8;

enum field_index : std::uint32_t {
  title = 0,
  artist = 1,
  album_artist = 2,
  genre = 3,
  album = 4,
  track_number = 5,
  disc_number = 6,
  date = 7,
};

// The display name of field `index` ("Title", "Artist", ...); index below field_count.
const char* name_of(std::uint32_t index) noexcept;

// The index of the field named by the `length` bytes at `name`, compared
// without regard to ASCII case over the whole length; false for any other name.
bool find(const char* name, std::size_t length, std::uint32_t& index) noexcept;

} // namespace field_name_set
