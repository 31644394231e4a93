// Reads the Tracks element into track records, in file order.
#pragma once

#include <vector>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

class matroska_tracks_handler : public ebml_element_handler {
public:
  explicit matroska_tracks_handler(std::vector<matroska_track_ptr>& tracks) : tracks_(tracks) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override;
  // Tracks without a TrackEntry is exception_io_data.
  void on_end() override;

private:
  std::vector<matroska_track_ptr>& tracks_;
  bool has_entry_ = false;
};

// A SamplingFrequency as the model keeps it: a finite rate from 1 to 2^31
// Hz, else 0.0 (unknown), since it is later rounded into an integer.
double matroska_usable_rate(double hertz);

}  // namespace Matroska
