#include "inputs/matroska/matroska_track_choice.h"

#include "io/io_exceptions.h"

namespace Matroska {

matroska_track_ptr matroska_choose_track(const std::vector<matroska_track_ptr>& tracks) {
  matroska_track_ptr first_default, first_audio;
  for (const matroska_track_ptr& track : tracks) {
    if (track->type != matroska_track_type_audio) continue;
    if (track->forced) return track;
    if (track->is_default && !first_default) first_default = track;
    if (!first_audio) first_audio = track;
  }
  if (first_default) return first_default;
  if (first_audio) return first_audio;
  vantrel_io::throw_io_data();
}

}  // namespace Matroska
