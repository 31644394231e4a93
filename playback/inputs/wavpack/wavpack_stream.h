// The file layer as the WavPack library reads it: a stream object per file
// (the main file and the correction file) and the table of reader callbacks,
// 64-bit throughout so that files beyond 4 GiB play and seek.
#pragma once

#include <wavpack/wavpack.h>

#include "core/abort_signal.h"
#include "io/file_object.h"

struct wavpack_stream {
  vantrel_io::file_ptr file;
  // The signal of the call in progress; the callbacks have no other way to
  // learn it.
  const abort_signal* abort = &never_raised_abort_signal();
};

// Callbacks never let an exception into the library: they answer with the
// library's failure values instead.
WavpackStreamReader64* wavpack_stream_reader();

// Lends `abort` to both streams for the duration of one library call.
class wavpack_abort_scope {
public:
  wavpack_abort_scope(wavpack_stream& main, wavpack_stream& correction, const abort_signal& abort)
      : main_(main), correction_(correction), saved_main_(main.abort), saved_correction_(correction.abort) {
    main.abort = correction.abort = &abort;
  }
  ~wavpack_abort_scope() {
    main_.abort = saved_main_;
    correction_.abort = saved_correction_;
  }
  wavpack_abort_scope(const wavpack_abort_scope&) = delete;
  wavpack_abort_scope& operator=(const wavpack_abort_scope&) = delete;

private:
  wavpack_stream& main_;
  wavpack_stream& correction_;
  const abort_signal* saved_main_;
  const abort_signal* saved_correction_;
};
