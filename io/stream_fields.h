// The field encodings of the system's own files (the library file, the
// clipboard format, preferences blobs) over the file layer's readers and
// writers: little-endian 32-bit numbers, strings as a 32-bit byte length and
// UTF-8 without terminator, GUIDs field by field. Each pair holds the stream
// and the abort signal that its every call receives; calls chain.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/string_object.h"
#include "io/file_object.h"

namespace vantrel_io {

class stream_writer {
public:
  stream_writer(writer& target, const abort_signal& abort) noexcept : target_(target), abort_(abort) {}

  stream_writer& write_u32(std::uint32_t value);
  // The text up to its first NUL.
  stream_writer& write_string(const qiv::string_object& text);
  // Four writes: 4, 2, 2 and 8 bytes.
  stream_writer& write_guid(const GUID& guid);

private:
  writer& target_;
  const abort_signal& abort_;
};

class stream_reader {
public:
  stream_reader(reader& source, const abort_signal& abort) noexcept : source_(source), abort_(abort) {}

  // A short read is exception_io_data.
  stream_reader& read_u32(std::uint32_t& value);
  stream_reader& read_guid(GUID& guid);

private:
  reader& source_;
  const abort_signal& abort_;
};

}  // namespace vantrel_io
