// The chapter names other players read: a text track that another track
// names in its "tref"/"chap" box, one sample per chapter holding the
// chapter's name. Its samples live among the media data, so a rename writes
// the track's samples anew as one chunk of their own, and the track's sample
// tables point at that chunk; the old samples are left where they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// The text track's samples as they are to be written.
struct chapter_text_samples {
  std::size_t track = 0;  // which "trak" box of the movie, counting from 0
  std::uint32_t description_index = 1;
  std::vector<std::uint32_t> sizes;
  byte_buffer bytes;  // every sample in order, the renamed ones with their new name
};

// The new samples of the chapter text track of the movie box payload
// `movie`, whose samples are read from `io`, for `names`: one entry per
// sample, a name to give it or none to keep it byte for byte. None when the
// movie has no chapter text track, when its sample count differs from the
// number of names, when it cannot be read whole (the track is then left as
// it is), or when every sample already holds the name it is to be given.
std::optional<chapter_text_samples> renamed_chapter_text(const std::string& movie, stream& io,
                                                         const std::vector<std::optional<std::string>>& names);

// The payload of the chapter text track's "trak" box, its sample tables
// pointing at the new samples stored from file offset `offset` on, with
// 64-bit chunk offsets when `wide`.
byte_buffer track_with_chapter_text(std::string_view trak_payload, const chapter_text_samples& samples,
                                    std::uint64_t offset, bool wide);

}  // namespace tarnex
