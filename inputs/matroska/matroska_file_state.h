// Everything known of one opened Matroska or WebM file. Each open builds its
// own state; nothing is shared between opens of the same file.
#pragma once

#include <vector>

#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

struct matroska_file_state {
  matroska_file_scan scan;
  std::vector<matroska_track_ptr> tracks;  // file order
  matroska_segment_info info;
  std::vector<matroska_edition> editions;
  // The chapters of the visible editions, in order; one subsong each.
  std::vector<matroska_chapter> chapters;
  // For the chosen track only.
  matroska_cue_map cues;
  std::vector<matroska_attachment> attachments;
};

}  // namespace Matroska
