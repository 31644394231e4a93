// Where an edit of the chapters of a version 8 Musepack stream goes. A
// chapter reads the file's own tag with its packet's gain and peak and its
// own tag over it; an edit changes only the values the user changed, in the
// places that hold them: each change goes into every place of that chapter
// that holds the value, and into the file's tag too when it was made alike
// on every chapter. A change no place holds goes into the file's tag when
// made alike on every chapter, else into the chapter's own tag (its track
// gain and peak into its packet).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "inputs/musepack/musepack_chapter_table.h"
#include "metadata/track_info.h"

namespace musepack {

// The chapter's packet after the edit; none where it stays as it is.
using chapter_rewrites = std::vector<std::optional<std::vector<std::uint8_t>>>;

// `shown` and `edited` hold each chapter's info as read and as the edit
// leaves it, in the order of `chapters`; `file_info` the file's own info,
// which takes the changes meant for it. Every change must read back as
// made, or nothing is planned: exception_chapter_value_not_stored. A change
// to a chapter whose own tag cannot be read: exception_io_data.
chapter_rewrites plan_chapter_edit(const std::vector<chapter_packet>& chapters,
                                   const std::vector<track_info_impl>& shown,
                                   const std::vector<track_info_impl>& edited, track_info& file_info);

// What a chapter reads, `out` holding the file's info: the chapter's gain
// and peak over the track gain and peak, its tag's fields over those of
// the same name.
void overlay_chapter(track_info& out, std::uint16_t gain, std::uint16_t peak, const apev2::item_list& items);

}  // namespace musepack
