// The one way into the cached info of tracks from the files: resolving a
// path into handles, loading, writing and stripping tags in the background,
// announcing changes, and the two helpers through which the media library
// feeds info it read itself. Main thread only, except the helpers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_object.h"
#include "metadata/cached_info_refresher.h"
#include "metadata/info_batch.h"
#include "metadata/metadata_io.h"
#include "metadata/shared_info_batch.h"
#include "metadata/track_handle.h"
#include "metadata/track_info_listener.h"

class metadata_io_service : public service_object {
public:
  static constexpr GUID class_guid = {0x64D18B80, 0x5E97, 0x40E4, {0xA3, 0x0C, 0xA4, 0x64, 0x0C, 0x60, 0xBC, 0xE5}};
  using service_parent = service_object;
  // Two more classes the same object answers; the playback engine's open
  // path asks under the first.
  static constexpr GUID playback_guid = {0x265C4ECE, 0xFFB2, 0x4299, {0x91, 0xB5, 0x6C, 0xA6, 0x60, 0x3D, 0xA1, 0x53}};
  static constexpr GUID extended_guid = {0x10E80560, 0xB1EF, 0x4E5E, {0xB4, 0x0C, 0x5D, 0xFC, 0x2E, 0x9A, 0xF1, 0x11}};

  // Appends the handles of every track found at `path` (a file, or a folder
  // with its subfolders). Tracks whose files were read take the info read;
  // those that changed are announced. A failing walk ends quietly.
  virtual void resolve_path(const char* path, track_handle_list& out) = 0;
  // Tells every info listener that these tracks' tags were rewritten.
  virtual void announce_info_change(const track_handle_list& handles) = 0;

  // Each returns at once; the completion object (may be null) hears the
  // outcome later on the main thread, the hook (may be null) sees each info
  // read on the way. A mode other than 0..3 is a fatal error.
  virtual void load_info_async(const track_handle_list& handles, metadata_load_mode mode, HWND parent,
                               std::uint32_t flags, info_hook* hook, metadata_completion* completion) = 0;
  virtual void update_info_async(const track_handle_list& handles, info_update_filter* filter, HWND parent,
                                 std::uint32_t flags, info_hook* hook, metadata_completion* completion) = 0;
  virtual void remove_info_async(const track_handle_list& handles, HWND parent, std::uint32_t flags,
                                 info_hook* hook, metadata_completion* completion) = 0;

  virtual service_ptr<shared_info_batch>& create_info_batch(service_ptr<shared_info_batch>& out) = 0;
  virtual service_ptr<cached_info_refresher>& create_cached_info_refresher(service_ptr<cached_info_refresher>& out) = 0;

  virtual void track_info_changed_register(track_info_change_callback& callback) = 0;
  virtual void track_info_changed_unregister(track_info_change_callback& callback) = 0;

  // The process's instance.
  static service_ptr<metadata_io_service> get();
};
