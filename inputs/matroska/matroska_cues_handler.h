// Reads the Cues element into the cue map of one track: cue time (ticks) ->
// cluster position, a later position for the same time replacing an earlier.
#pragma once

#include <cstdint>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

class matroska_cues_handler : public ebml_element_handler {
public:
  matroska_cues_handler(matroska_cue_map& cues, std::uint64_t track_number) : cues_(cues), track_(track_number) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override;

private:
  matroska_cue_map& cues_;
  std::uint64_t track_;
};

}  // namespace Matroska
