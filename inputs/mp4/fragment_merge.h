#pragma once

#include "inputs/mp4/mp4_file.h"

namespace tarnex {

// Appends the samples the movie fragments gave each track (found by its
// track ID) to the samples of its own tables, then lets the collected runs
// go.
void merge_fragments(mp4_file& file);

}  // namespace tarnex
