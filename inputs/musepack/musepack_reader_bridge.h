// The file layer as libmpcdec reads it: a reader record whose callbacks go
// to one file object. The library's offsets are signed 32-bit, so files of
// 2 GiB and more are refused before the library sees them.
#pragma once

#include <mpc/reader.h>

#include "core/abort_signal.h"
#include "io/file_object.h"

struct musepack_reader_bridge {
  // First, so the library's record pointer is the bridge's address.
  mpc_reader reader{};
  vantrel_io::file_ptr file;
  // The signal of the call in progress; the callbacks have no other way to
  // learn it.
  const abort_signal* abort = &never_raised_abort_signal();
  // Set once a read found fewer bytes than the library asked for: the file
  // ends, perhaps before its stream does.
  bool met_end = false;
  // Where the library's view of the file ends (the trailing tags of a file
  // cut inside its stream are no audio); unknown: the whole file.
  std::uint64_t end = vantrel_io::filesize_unknown;
  // Where a packet starts whose key the library is shown as one it passes
  // over (a packet leading it to a seek table that does not fit the stream);
  // unknown: none.
  std::uint64_t hidden_packet = vantrel_io::filesize_unknown;

  musepack_reader_bridge();
  musepack_reader_bridge(const musepack_reader_bridge&) = delete;
  musepack_reader_bridge& operator=(const musepack_reader_bridge&) = delete;
};

// The largest file the library can address.
inline constexpr std::uint64_t musepack_max_file_size = 0x7FFFFFFF;

// Lends `abort` to the bridge for the duration of one library call.
class musepack_abort_scope {
public:
  musepack_abort_scope(musepack_reader_bridge& bridge, const abort_signal& abort)
      : bridge_(bridge), saved_(bridge.abort) {
    bridge.abort = &abort;
  }
  ~musepack_abort_scope() { bridge_.abort = saved_; }
  musepack_abort_scope(const musepack_abort_scope&) = delete;
  musepack_abort_scope& operator=(const musepack_abort_scope&) = delete;

private:
  musepack_reader_bridge& bridge_;
  const abort_signal* saved_;
};
