// The one shared object per track location: every part of the program that
// names the same (path, subsong) holds the same handle and sees the same
// cached display info. Handles come only from track_handle_registry.
//
// Two process-wide locks, never held together: the registry lock guards the
// reference counts (see track_handle_registry.cpp), the info lock guards every
// handle's cached record, info timestamp and valid flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "foundation/string_object.h"
#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_script.h"
#include "metadata/title/title_text_filter.h"
#include "metadata/track_display_info.h"
#include "metadata/track_location.h"

class track_handle {
public:
  track_handle(const track_handle&) = delete;
  track_handle& operator=(const track_handle&) = delete;

  // The last release removes the handle from the registry and destroys it
  // there and then, under the registry lock; the other counts change
  // without it.
  std::int32_t add_ref() noexcept;
  std::int32_t release() noexcept;
  // Read without the lock: a hint, exact only while the caller's reference
  // is the only way to reach the handle.
  bool is_only_reference() const noexcept { return count_.load(std::memory_order_relaxed) == 1; }

  const track_location& get_location() const noexcept { return location_; }

  // The global info lock; see track_info_lock for a scoped hold.
  static void lock_info() noexcept;
  static void unlock_info() noexcept;

  // The file time of the file when the cached info was read, 0 when none was
  // recorded. The caller holds the info lock.
  std::uint64_t get_info_timestamp() const noexcept { return info_timestamp_; }
  bool has_info() const noexcept;
  // False, and `out` untouched, when nothing is cached.
  bool get_info(track_display_info& out) const;
  // A pointer to the cached record; valid while the caller holds the info lock.
  bool get_info_ref(const track_display_info*& out) const noexcept;

  // Evaluates `script` against this track and its cached record (empty when
  // nothing is cached), asking `caller` first for fields and functions when
  // given. Answers whether info was cached. The caller holds the info lock;
  // the _locked form takes it.
  bool evaluate_script(field_provider* caller, qiv::string_object& out, const title_script& script,
                       title_text_filter* filter = nullptr) const;
  bool evaluate_script_locked(field_provider* caller, qiv::string_object& out, const title_script& script,
                              title_text_filter* filter = nullptr) const;
  // The same against a record the caller gives (info about to be stored).
  void evaluate_script_with_info(const track_display_info& record, field_provider* caller, qiv::string_object& out,
                                 const title_script& script, title_text_filter* filter = nullptr) const;

  // Stores `record` unless info is cached, `force` is off and `file_time` is
  // not newer (see info_is_newer). A file time of 0 leaves the cached one.
  bool set_info(const track_display_info& record, std::uint64_t file_time, std::uint64_t read_time, bool force);
  // The same, taking the record over: a batch of many tracks' texts is
  // never held twice while it is stored.
  bool set_info(track_display_info&& record, std::uint64_t file_time, std::uint64_t read_time, bool force);
  // Reads a record stored with its file time (the library file). A record not
  // newer than the cached one is skipped over. The record is read whole
  // before it replaces anything, so a failed read leaves the cached info as
  // it was and readers on other threads never see half a record.
  bool load_info_from_stream(std::uint64_t file_time, vantrel_io::reader& source, const abort_signal& abort);

private:
  friend class track_handle_table;

  // `path_text`: the handle's own copy of the path, kept in the same heap
  // block right behind the object (see track_handle_table), which the
  // location borrows. `path_crc`: the CRC-32 of the path, which the registry
  // has already worked out to look the handle up.
  track_handle(const char* path_text, std::uint32_t subsong, std::uint32_t path_crc) noexcept;
  ~track_handle() = default;

  std::atomic<std::int32_t> count_ = 0;
  track_handle* next_in_registry_ = nullptr;  // the registry's chain of handles with like CRCs
  std::uint64_t info_timestamp_ = 0;
  track_display_info info_;
  // The valid flag may sit in the location's tail padding: a library holds
  // one handle per track, and the flag would otherwise cost 8 bytes more each.
  [[no_unique_address]] const track_location location_;
  bool info_valid_ = false;
  const std::uint32_t path_crc_;
};

using track_handle_ptr = service_ptr<track_handle>;
using track_handle_list = std::vector<track_handle_ptr>;

// Holds the global info lock for a scope.
class track_info_lock {
public:
  track_info_lock() noexcept { track_handle::lock_info(); }
  ~track_info_lock() { track_handle::unlock_info(); }
  track_info_lock(const track_info_lock&) = delete;
  track_info_lock& operator=(const track_info_lock&) = delete;
};

// Whether info read at `new_time` supersedes info read at `cached_time`. An
// earlier file time wins only when the cached info is known to have been read
// (`read_time`, 0 for unknown) after the file was last changed: the file was
// replaced by an older copy.
bool info_is_newer(std::uint64_t new_time, std::uint64_t cached_time, std::uint64_t read_time) noexcept;
