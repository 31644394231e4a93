#include "io/room_for_later_edits.h"

#include <algorithm>

#include "io/in_place_overwrite.h"

namespace vantrel_io {

later_edit_layout layout_for_later_edits(std::uint64_t position, std::uint64_t used, std::uint64_t least_filler) {
  constexpr std::uint64_t page = atomic_write_page;
  later_edit_layout layout;
  if (used + least_later_edit_room > page) return layout;
  const std::uint64_t page_end = (position / page + 1) * page;
  if (position + used + least_later_edit_room <= page_end) {
    layout.room = std::min(later_edit_room, page_end - position - used);
    return layout;
  }
  layout.alignment = page_end - position;
  if (layout.alignment < least_filler) layout.alignment += page;
  layout.room = std::min(later_edit_room, page - used);
  return layout;
}

}  // namespace vantrel_io
