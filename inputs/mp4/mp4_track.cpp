#include "inputs/mp4/mp4_track.h"

#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

std::uint32_t mp4_track::sample_size(std::uint32_t n) const {
  if (fixed_sample_size != 0) return fixed_sample_size;
  if (n >= sample_sizes.size()) throw exception_out_of_range();
  return sample_sizes[n];
}

}  // namespace tarnex
