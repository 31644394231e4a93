// Reads the Segment's Info element: the timecode scale and the duration.
#pragma once

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

class matroska_info_handler : public ebml_element_handler {
public:
  explicit matroska_info_handler(matroska_segment_info& info) : info_(info) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override;
  // A timecode scale of 0 is exception_io_data; a duration that is no
  // usable length (not finite, negative, beyond 2^63 nanoseconds) becomes
  // unknown (0.0), since later code turns it into sample counts.
  void on_end() override;

private:
  matroska_segment_info& info_;
};

}  // namespace Matroska
