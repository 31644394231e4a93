// The subsongs of one file (chapters, the tracks of a cue sheet) keep the
// file's own order in a list sorted by texts: their names need not sort in
// that order, and chapters mostly carry no track number that would.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "metadata/track_handle.h"

// Puts the subsongs of each file into the places the sort gave that file's
// subsongs, in ascending subsong order; every other item stays. `track_of`
// gives the track an item stands for, or null for one that stands for none.
void keep_subsongs_in_file_order(std::span<std::uint32_t> items,
                                 const std::function<const track_handle*(std::uint32_t)>& track_of);
