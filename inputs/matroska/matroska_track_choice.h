// Which audio track of a file plays: the first forced one, else the first
// default one, else the first. The enabled flag is not consulted.
#pragma once

#include <vector>

#include "inputs/matroska/matroska_records.h"

namespace Matroska {

// A list without an audio track is exception_io_data.
matroska_track_ptr matroska_choose_track(const std::vector<matroska_track_ptr>& tracks);

}  // namespace Matroska
