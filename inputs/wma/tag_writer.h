// Rewrites a file's header attributes through the runtime's metadata editor.
// The editor opens files only by native path: a file it cannot reach so (one
// handed in by the caller, a path of another scheme) is edited in a working
// copy that is then copied back over it.
#pragma once

#include <string>

#include "core/abort_signal.h"
#include "inputs/wma/wma_runtime.h"
#include "io/file_object.h"
#include "metadata/track_info.h"

namespace wma {

// With a `native_path` the editor opens that file; else `source` is copied
// into a working copy first and the result copied back into it. Failures
// throw exception_io named by the operation; the file is then as it was,
// except when the copy-back itself fails (temp_copy.h).
void write_tags(create_editor_function create_editor, const std::wstring& native_path, vantrel_io::file_object* source,
                const track_info& info, const abort_signal& abort);

}  // namespace wma
