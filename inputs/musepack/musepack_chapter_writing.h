// Writing the chapters of a version 8 Musepack stream: the fields all
// chapters share go to the file's own tag, the rest into one "CT" packet
// per chapter, placed right before the stream-end packet.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/tag_region_update.h"
#include "metadata/track_info.h"

namespace musepack {

// Moves the fields that every chapter holds with the same values into
// `common` (with the ReplayGain values that all chapters share). Track and
// disc totals go to the file level whenever the numbers differ.
void split_common_fields(std::vector<track_info_impl>& chapters, track_info& common);

// The payload of one "CT" packet.
std::vector<std::uint8_t> chapter_payload(std::uint64_t start_sample, const track_info& chapter);

// Replaces the "CT" packets of the stream at `header_position` by new ones
// with the given starts (each chapter keeps its start sample), and, when
// `tags` is given, the file's tags by its regions in the same write (they
// must lie before the first chapter and after the stream end). The packets
// after the first old chapter are rewritten: in place when that is one
// write within one page, else through `rewrite`'s temporary file (the
// caller commits it), else refused with exception_no_safe_rewrite. A stream
// whose chapters stand before audio, or whose stream-end packet is missing,
// is refused with exception_io_data before anything is written.
void write_chapter_packets(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t header_position,
                           const std::vector<track_info_impl>& chapters, const std::vector<std::uint64_t>& starts,
                           const tag_region_update* tags, const abort_signal& abort);

}  // namespace musepack
