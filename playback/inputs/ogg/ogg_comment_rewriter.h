// Writes new tags into the comment headers of an Ogg file. Only what an edit
// changes from the file's own reading is written: the comments of untouched
// fields keep their bytes and order, and a link whose comment an edit leaves
// as it is is not written at all.
//
// A process killed at any moment leaves the old file or the new one: the new
// header pages go over the old ones only when a single link changes, its
// header packets keep their sizes (so its pages keep their places, sizes and
// lacing), and every byte that changes lies in one page, which the system
// puts down in one write. Otherwise the whole new file is built in a
// temporary file (later pages renumbered, their CRCs recomputed) and
// replaces the old one only once it is complete; its header pages are laid
// out for the next edit (see ogg_header_pages).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/album_art_data.h"
#include "metadata/track_info.h"

namespace ogg_comment_rewriter {

struct link_range {
  std::uint64_t start;
  std::uint64_t length;
};

// What changes in one link's comment: its text fields, its pictures or both.
struct link_edit {
  link_edit() = default;
  link_edit(const track_info_impl& text) : info(text), text_changed(true) {}
  track_info_impl info;
  bool text_changed = false;
  // The link's info as the input read it, which the edit started from;
  // without it, a plain reading of the comment stands in.
  std::optional<track_info_impl> as_read;
  album_art_map pictures;
  bool pictures_changed = false;
};

// `edits` maps link indexes to the changes to make there. When the change
// cannot be made in place and the source offers no temporary file, a file
// that lives in memory gets a scratch copy put back over it, and any other
// is refused with exception_no_safe_rewrite before anything is written.
void write(vantrel_io::file_ptr file, const std::vector<link_range>& links,
           const std::map<std::uint32_t, link_edit>& edits, retag_temp_source& temp_source,
           const abort_signal& abort);

}  // namespace ogg_comment_rewriter
