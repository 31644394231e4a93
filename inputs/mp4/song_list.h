#pragma once

#include "inputs/mp4/mp4_file.h"

namespace tarnex {

// The file's playable range (from its gapless record or its tracks) and its
// songs: one per chapter, or the whole range as one. The last step of
// mp4_open_file.
void build_song_list(mp4_file& file);

}  // namespace tarnex
