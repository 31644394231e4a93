// How inputs open and seek files: opens wait out another program's brief
// hold, and a seek past the end is a damaged file.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// How long an input waits for a file another program holds.
inline constexpr double input_open_timeout_seconds = 0.5;

void open_for_reading(file_ptr& out, const char* path, const abort_signal& abort);
// The existing file, read and write.
void open_for_writing(file_ptr& out, const char* path, const abort_signal& abort);

// As file_object::seek, but a position past the end (a chunk or field that
// points outside the file) is exception_io_data.
void seek_checked(file_object& file, std::uint64_t position, const abort_signal& abort);

}  // namespace vantrel_io
