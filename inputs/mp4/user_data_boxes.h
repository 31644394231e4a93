// The children of the user-data box that the song list needs: the item list
// (for the gapless record and the file's fields) and the chapter list.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_atom_reader.h"
#include "inputs/mp4/mp4_file.h"

namespace tarnex {

// "meta": the freeform items of its item list into file.metadata_items.
void read_meta_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size);
// "chpl": the chapters' starts and names.
void read_chapter_list(mp4_file& file, mp4_atom_reader& in);

}  // namespace tarnex
