// The working copy the tag writer edits when the runtime cannot open the file
// itself (a file handed in by the caller, a path of another scheme): a file in
// the system's temporary folder, copied back over the source when the edit is
// done.
#pragma once

#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace wma {

class temp_copy {
public:
  temp_copy() = default;
  // Deletes the temporary file unless a failed copy-back kept it.
  ~temp_copy();
  temp_copy(const temp_copy&) = delete;
  temp_copy& operator=(const temp_copy&) = delete;

  // Makes the temporary file (the system creates it under a name of its
  // own choosing, so two writers never share one) and copies `source` into
  // it. Failures throw exception_io.
  void make(vantrel_io::file_object& source, const abort_signal& abort);
  const std::wstring& path() const { return path_; }

  // Makes `destination` a byte copy of the temporary file, at its length.
  // Once the destination may have changed, a failure keeps the temporary
  // file, the only good copy, and throws exception_io naming it.
  void copy_back(vantrel_io::file_object& destination, const abort_signal& abort);

private:
  std::wstring path_;
  bool keep_ = false;
};

}  // namespace wma
