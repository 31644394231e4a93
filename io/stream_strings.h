// Reading texts from streams. Lengths come from files that may be damaged,
// so long texts are read in growing steps: a bogus length fails on a short
// read long before its whole size has been allocated.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/refcounted_string.h"
#include "foundation/string_object.h"
#include "io/file_object.h"

namespace vantrel_io::stream {

// Exactly `bytes` bytes into `out`; a short stream is exception_io_data.
void read_string(reader& source, std::uint32_t bytes, const abort_signal& abort, qiv::string_object& out);
// A 32-bit little-endian byte count, then that many bytes.
void read_length_prefixed_string(reader& source, const abort_signal& abort, qiv::string_object& out);
// Everything up to the end of the stream.
void read_all_to_string(reader& source, const abort_signal& abort, qiv::string_object& out);
// Exactly `bytes` bytes as a new shared text.
qiv::refcounted_string_ref read_counted_string(reader& source, std::uint32_t bytes, const abort_signal& abort);

}  // namespace vantrel_io::stream
