// Read buffering for files read in many small pieces. A read-ahead file wraps
// another file object and serves reads from a buffer that it fills in chunks
// of growing size (4 KiB, 8 KiB, ... up to its maximum), so that a parser's
// header reads stay cheap and long sequential reads become few large ones.
//
// It stays a full file object: writes, resizes and seeks go through it and
// keep the buffer coherent (tag writers modify files through it), and seeks
// inside the buffered bytes cost nothing.
#pragma once

#include <cstdint>
#include <utility>

#include "io/file_object.h"

namespace vantrel_io {

class read_ahead_file : public file_object {
public:
  static constexpr GUID class_guid = {0x67FC5D4C, 0x50ED, 0x4DA3, {0x95, 0x42, 0x9B, 0x30, 0xC4, 0xA4, 0x42, 0x9A}};
  using service_parent = file_object;

  virtual std::uint32_t get_max_chunk() = 0;
  // The maximum becomes `bytes` when that is larger; it never shrinks.
  virtual void raise_max_chunk(std::uint32_t bytes) = 0;

  // `out` receives a buffered view of `inner`: the inner file itself when it
  // lives in memory; the inner file with its maximum raised when it already
  // is a read-ahead file; otherwise a new read-ahead file that starts at the
  // inner file's position. The caller uses only `out` afterwards.
  static void create(file_ptr& out, file_ptr inner, std::uint32_t max_chunk, const abort_signal& abort);
  // Replaces the reference by the result of create.
  static void wrap(file_ptr& file, std::uint32_t max_chunk, const abort_signal& abort);
  // wrap with a 256 KiB maximum, for local files that can seek; remote and
  // unseekable files are left as they are.
  static void wrap_if_local(file_ptr& file, const abort_signal& abort);

protected:
  ~read_ahead_file() = default;
};

// The read buffer every file of the system's own opens gets: the same as
// read_ahead_file::create.
inline void buffered_file(file_ptr& out, file_ptr inner, std::uint32_t buffer_size, const abort_signal& abort) {
  read_ahead_file::create(out, std::move(inner), buffer_size, abort);
}

}  // namespace vantrel_io
