// Where the frames of a rewritten ID3v2 tag stand. Readers give the order of
// frames no meaning, except among pictures (many programs show the first),
// so the order serves the writes: a frame that stays keeps its place and a
// frame made anew takes the place of the one it replaces, so that an edit
// moves nothing it does not change and the same edit made twice gives the
// same bytes; frames of new fields follow the others. A tag written anew
// (its file rewritten through a copy) puts its large frames first, so that a
// later edit of a short text field touches only the short frames and the
// padding behind them: a small range that can change in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "metadata/tags/id3v2_tag.h"

class id3v2_frame_places {
public:
  // Remembers the places of the frames a tag held before its rewrite.
  explicit id3v2_frame_places(const std::vector<id3parser::frame>& old_frames);

  // Orders the rewritten frames: each by the place of the old frame it
  // equals, else of the first old one it replaces (the same identifier and,
  // for comments, lyrics and user-defined frames, the same description);
  // the others after them in their order. The frames and old places looked
  // at count as work steps: linear in the frames.
  void put_in_place(std::vector<id3parser::frame>& frames) const;

private:
  // A copy of the old frame, which a kept frame is compared with whole.
  struct place {
    id3parser::frame old;
    std::string description;
  };
  std::vector<place> places_;
};

// Payloads above this size count as large; every picture counts as large,
// and every chapter and table-of-contents frame when one of them is.
inline constexpr std::size_t id3v2_large_frame_size = 1024;

// The layout of a tag written anew: the large frames in their order, then
// the others in theirs.
void id3v2_lay_out_for_rewrite(std::vector<id3parser::frame>& frames);
bool id3v2_laid_out_for_rewrite(const std::vector<id3parser::frame>& frames);
