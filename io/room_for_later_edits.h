// Where tags a write moves anyway go, so that a later text edit of them is
// one write within one page (see in_place_overwrite): the bytes such an edit
// changes and the room behind or before them that takes up its change in
// size share a page.
#pragma once

#include <cstdint>

namespace vantrel_io {

// Room left for later text edits, as much as the page holds up to this;
// less than the least is not worth keeping the bytes where they would be.
inline constexpr std::uint64_t later_edit_room = 512;
inline constexpr std::uint64_t least_later_edit_room = 128;

struct later_edit_layout {
  std::uint64_t alignment = 0;  // filler before the bytes (0: none)
  std::uint64_t room = later_edit_room;
};

// The layout for `used` bytes that, with their room, would start at
// `position`: where they and their room cross a page boundary, filler
// shifts them to the start of the next page (a page further where the
// filler would be shorter than `least_filler`, the format's smallest).
// Bytes that fill a page get the room alone.
later_edit_layout layout_for_later_edits(std::uint64_t position, std::uint64_t used, std::uint64_t least_filler);

}  // namespace vantrel_io
