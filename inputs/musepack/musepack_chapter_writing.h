// Writing the chapters of a version 8 Musepack stream: one "CT" packet per
// chapter, placed right before the stream-end packet.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/tag_region_update.h"

namespace musepack {

// Replaces the "CT" packets of the stream at `header_position` by
// `chapters` (whole packets, in order), and, when
// `tags` is given, the file's tags by its regions in the same write (they
// must lie before the first chapter and after the stream end). The packets
// after the first old chapter are rewritten: in place when that is one
// write within one page, else through `rewrite`'s temporary file (the
// caller commits it), else refused with exception_no_safe_rewrite. A stream
// whose chapters stand before audio, or whose stream-end packet is missing,
// is refused with exception_io_data before anything is written.
void write_chapter_packets(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t header_position,
                           const std::vector<std::vector<std::uint8_t>>& chapters, const tag_region_update* tags,
                           const abort_signal& abort);

}  // namespace musepack
