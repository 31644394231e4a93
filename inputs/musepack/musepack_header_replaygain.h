// ReplayGain stored in a Musepack stream header: read from the library's
// 16-bit values, and written in place into a version 7 header or into the
// "RG" packet of a version 8 stream, keeping the file's size.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/replaygain_info.h"

namespace musepack {

// The header's encodings; 0 means "not stored".
float gain_from_header(std::uint16_t stored);
float peak_from_header(std::uint16_t stored);
std::uint16_t gain_to_header(float gain);  // absent → 0
std::uint16_t peak_to_header(float peak);  // absent → 0

// The 20 bytes of a version 7 header with the ReplayGain values replaced.
// Peaks above the 16-bit range are clamped, never wrapped. With `current`
// (the values as the header reads now), a value equal to its current one
// keeps its stored bytes: decoding and encoding again would round it.
void patch_v7_header(std::uint8_t (&header)[20], const replaygain_info& values,
                     const replaygain_info* current = nullptr);

// A header write worked out and checked, with nothing written yet.
struct header_replaygain_write {
  bool found = false;  // false: no Musepack header there, the tag keeps the values
  bool changes = false;  // false: the file already holds `bytes`
  std::uint64_t position = 0;
  std::vector<std::uint8_t> bytes;  // the new bytes at `position`
};

// exception_io_data for a damaged header or a version 8 stream without a
// fitting "RG" packet. `current` as for patch_v7_header.
header_replaygain_write plan_header_replaygain(vantrel_io::file_object& file, std::uint64_t header_position,
                                               const replaygain_info& values, const replaygain_info* current,
                                               const abort_signal& abort);
// Writes only the bytes that differ, in place: as one write within one page,
// else refused before anything is written (exception_no_safe_rewrite).
void apply_header_replaygain(vantrel_io::file_object& file, const header_replaygain_write& write,
                             const abort_signal& abort);

// Both of the above; false when no Musepack header stands there.
bool write_header_replaygain(vantrel_io::file_object& file, std::uint64_t header_position,
                             const replaygain_info& values, const abort_signal& abort,
                             const replaygain_info* current = nullptr);

}  // namespace musepack
