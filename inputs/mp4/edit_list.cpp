// The edit list of a track: where in the media the presentation starts and
// how long it lasts. Encoders that write no gapless record put their priming
// and padding here.
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/track_boxes.h"

namespace tarnex {

void read_edit_list(mp4_atom_reader& in, mp4_track& track) {
  const std::uint8_t version = read_u8(in);
  in.skip_exact(3);
  if (version > 1) return;  // an unknown layout: the track plays unedited
  const std::uint32_t count = read_u32(in);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t duration = version == 1 ? read_u64(in) : read_u32(in);
    const std::uint64_t media_time = version == 1 ? read_u64(in) : read_u32(in);
    in.skip_exact(4);  // playback rate
    // An empty edit (media time -1) delays the track against the others;
    // alone, a track has nothing to be delayed against.
    const bool empty = version == 1 ? media_time == ~std::uint64_t(0) : media_time == 0xFFFFFFFFu;
    if (empty) continue;
    track.edit = track_edit{media_time, duration};
    return;
  }
}

}  // namespace tarnex
