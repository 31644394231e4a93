// Where a tag writer puts the whole new file when its change cannot be made
// in place safely. A file on disk is only ever replaced by a move of a
// complete temporary copy: a process killed while copying a new file back
// over the old one would leave it half old, half new. A file object that
// lives in memory dies with the process, so it may take the copy back.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

namespace vantrel_io {

class whole_file_rewrite {
public:
  // Takes the source's temporary file; without one, a scratch file when
  // `target` lives in memory, else exception_no_safe_rewrite. Nothing has
  // been written to `target` when this throws.
  whole_file_rewrite(file_object& target, retag_temp_source& source, const abort_signal& abort);

  file_object& output() { return *output_; }

  // Puts a scratch file's content over the target; the source's temporary
  // file is left to the source's commit.
  void finish(const abort_signal& abort);

private:
  file_object& target_;
  file_ptr output_;
  bool scratch_ = false;
};

}  // namespace vantrel_io
