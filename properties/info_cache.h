// The infos a properties dialog shows, as the metadata operations read them:
// the full tags and technical entries of each track with its file's size and
// time. The operations fill a cache on their worker thread (it is their info
// hook); the dialog reads it only after the operation's completion has come
// back to the main thread, so filling and reading never overlap in time.
#pragma once

#include <map>
#include <memory>

#include "foundation/win32_handles.h"
#include "io/file_object.h"
#include "metadata/info_batch.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "ui/support/compact_track_info.h"

class info_cache : public info_hook {
public:
  struct entry {
    // In one block: a selection of many tracks with thousands of values
    // each must fit the address space beside the dialog's rows.
    compact_track_info info;
    vantrel_io::file_stats stats;
  };

  // A copy of the entries of `source` (may be null): a reload or an update
  // stores only what it read again, and every other track keeps its info.
  static service_ptr<info_cache> create(const info_cache* source = nullptr);

  // The sink: replaces the entry of the handle. Any thread.
  void on_info(const track_handle_ptr& handle, const track_info& info, const vantrel_io::file_stats& stats) override;

  // Null when the cache holds nothing for the handle; valid until the next
  // store for that handle.
  const entry* find(const track_handle* handle) const;
  bool get_info(const track_handle* handle, track_info& out) const;
  bool get_stats(const track_handle* handle, vantrel_io::file_stats& out) const;

private:
  mutable critical_section lock_;
  // Keyed by handle identity; the reference keeps the handle alive.
  std::map<const track_handle*, std::pair<track_handle_ptr, std::shared_ptr<entry>>> entries_;
};
