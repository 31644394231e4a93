#include "inputs/matroska/matroska_info_handler.h"

#include <cmath>

#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

void matroska_info_handler::on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) {
  if (id == ids::timecode_scale) {
    info_.timecode_scale = ebml_read_uint(reader, size);
  } else if (id == ids::duration) {
    info_.duration = ebml_read_float(reader, size);
  }
}

void matroska_info_handler::on_end() {
  if (info_.timecode_scale == 0) vantrel_io::throw_io_data();
  const double nanoseconds = info_.duration * static_cast<double>(info_.timecode_scale);
  if (!std::isfinite(nanoseconds) || info_.duration < 0.0 || nanoseconds > 0x1p63) info_.duration = 0.0;
}

}  // namespace Matroska
