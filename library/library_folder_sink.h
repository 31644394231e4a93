// What a library folder reports to its owner, the media library: which files
// it may read, the tracks that entered and left it, and whether it is busy.
#pragma once

#include "core/service_object.h"
#include "metadata/track_handle.h"

class library_folder_sink : public service_object {
public:
  static constexpr GUID class_guid = {0xB4D1A691, 0xA04C, 0x44D3, {0xB9, 0x5E, 0x35, 0x17, 0x09, 0x4F, 0x2C, 0xF9}};
  using service_parent = service_object;

  // Worker thread. False keeps the file out of the library (no tracks).
  virtual bool accept(const char* path) = 0;
  // Main thread.
  virtual void tracks_added(const track_handle_list& handles) = 0;
  virtual void tracks_removed(const track_handle_list& handles) = 0;
  // Worker thread: true when the worker starts, false after each pass.
  virtual void set_scanning(bool scanning) = 0;
};
