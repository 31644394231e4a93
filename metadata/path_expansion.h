// Walking a path (a folder, with its subfolders, or one file) into track
// locations with their subsongs, and their info when the caller wants it.
#pragma once

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "metadata/track_handle.h"
#include "metadata/track_location.h"

class track_info;

// The caller's receiver of the walk.
class location_sink : public service_object {
public:
  // Told each path before it is processed.
  virtual void on_path(const char* path) = 0;
  // A location without info.
  virtual void add(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, bool fresh) = 0;
  virtual bool wants_info(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, bool fresh) = 0;
  virtual void add_with_info(const track_handle_ptr& handle, const vantrel_io::file_stats& stats,
                             const track_info& info, bool fresh) = 0;
  // The sink's handle for a location.
  virtual void make_handle(track_handle_ptr& out, const track_location& location) = 0;
  // Whether a file found in a folder is read at all.
  virtual bool wants_file(const char* path, bool found_in_folder) = 0;

protected:
  ~location_sink() = default;
};

namespace path_expansion {

// Expands `path` into `sink`; `found` becomes true once one location was
// handed over. A folder is listed with its subfolders and its files are read
// in path order; a listed file that no input can read (unsupported or
// damaged) is passed over, so one bad file does not lose the whole folder.
// A file given directly fails with the input dispatch's exception; an abort
// ends the walk with vantrel_io::exception_aborted.
void expand(const char* path, location_sink& sink, const abort_signal& abort, bool& found);

}  // namespace path_expansion
