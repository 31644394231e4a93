// The Lyrics3 (version 2.00) block some taggers put right before the ID3v1
// block at the end of a file: "LYRICSBEGIN" and its fields, then the
// block's size up to there in six ASCII digits and "LYRICS200". An APEv2
// tag may stand in front of it, where readers that know the block find it.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

struct lyrics3v2_search {
  std::uint64_t size = 0;    // of the block ending at the place asked, trailer included; 0 when none
  bool cut_short = false;    // its size reaches back past the start of what was searched
};

lyrics3v2_search find_lyrics3v2_ending_at(vantrel_io::file_object& file, std::uint64_t end, const abort_signal& abort);
