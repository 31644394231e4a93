// One music folder of the library: its folder tree, restored from the stored
// blob when there is one, and the worker thread that keeps it current (a
// first full scan, then directory-change notifications, or periodic rescans
// where the file system sends none). Changes reach the owner on the main
// thread.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "library/library_folder_sink.h"
#include "metadata/track_handle.h"

class library_folder : public service_object {
public:
  static constexpr GUID class_guid = {0x6D00AB78, 0xC105, 0x4E60, {0xB3, 0xBA, 0x13, 0xC7, 0xA1, 0x2F, 0xE3, 0x7C}};
  using service_parent = service_object;

  // Mode bits: no first scan; no monitoring. 0 scans then monitors, 2 only
  // monitors, 4 scans once and ends, 6 runs no worker.
  static constexpr std::uint32_t mode_no_first_scan = 2;
  static constexpr std::uint32_t mode_no_monitoring = 4;

  // Main thread. Writes the folder blob.
  virtual void save(vantrel_io::writer& target, const abort_signal& abort) = 0;
  // The worker has finished a pass, or no worker runs.
  virtual bool is_ready() = 0;
  // Stops the worker, then starts it as the new mode asks.
  virtual void set_mode(std::uint32_t mode) = 0;
  // Whether the blob would differ from the one the folder was restored from
  // or last saved to; asking forgets it.
  virtual bool take_unsaved_changes() = 0;
};

using library_folder_ptr = service_ptr<library_folder>;

namespace folder_monitor {

// Makes the folder object for the "file://" folder `path` and starts its
// worker. With a `blob` the tree is read from it first and `restored`
// receives every track it held; a damaged blob throws exception_io_data.
// Throws qiv::thread::exception_creation when no thread can be started.
library_folder_ptr create(library_folder_sink* owner, const char* path, vantrel_io::file_object* blob,
                          std::uint32_t mode, track_handle_list& restored);

}  // namespace folder_monitor
