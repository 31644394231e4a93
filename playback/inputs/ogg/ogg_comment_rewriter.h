// Writes new tags into the comment headers of an Ogg file, link by link.
// A link whose new header pages have the old size and page count gets them
// written over the old ones; from the first link where they differ on, the
// whole new file is built in a temporary file (later pages renumbered, their
// CRCs recomputed) and replaces the old one only once it is complete.
#pragma once

#include <cstdint>
#include <map>
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
  album_art_map pictures;
  bool pictures_changed = false;
};

// `edits` maps link indexes to the changes to make there. When the source
// offers no temporary file, the new file is built in a scratch file and
// copied over the old one.
void write(vantrel_io::file_ptr file, const std::vector<link_range>& links,
           const std::map<std::uint32_t, link_edit>& edits, retag_temp_source& temp_source,
           const abort_signal& abort);

}  // namespace ogg_comment_rewriter
