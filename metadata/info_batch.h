// Freshly read info for many tracks, gathered by a metadata operation and
// stored in one step, then published once for all of them.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "core/service_registry.h"
#include "io/file_object.h"
#include "metadata/track_display_info.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"

class info_reader;

// Shown every info a batch takes, before it is recorded; the caller of a
// metadata operation uses it to see the full tags that were read (the handles
// keep only their display fields). Called on the thread that reads; an
// update reads on several at once.
class info_hook : public service_object {
public:
  static constexpr GUID class_guid = {0x3D7A51C2, 0x8E04, 0x4B6F, {0x91, 0x2C, 0x5A, 0xE0, 0x73, 0xB8, 0x16, 0x4D}};
  using service_parent = service_object;
  virtual void on_info(const track_handle_ptr& handle, const track_info& info, const vantrel_io::file_stats& stats) = 0;
};

class info_batch {
public:
  explicit info_batch(info_hook* hook = nullptr) : hook_(hook) {}

  // Takes the display fields of `info` for `handle`, with the current system
  // time as its read time when `stamp` is set (else 0).
  void add(const track_handle_ptr& handle, const track_info& info, const vantrel_io::file_stats& stats, bool stamp);
  // A display record with a given read time. Of two reads of one handle the
  // later one wins; at equal read times (the clock ticks coarsely, and
  // unstamped reads all carry 0) the one added last, which is the fresher read.
  // The record is taken over.
  void add_read(const track_handle_ptr& handle, track_display_info&& record, std::uint64_t file_time,
                std::uint64_t read_time);

  // The info of every subsong of the file at `path` open in `reader`. The
  // whole file (subsong 0) is always among them, since lists may name the
  // file itself.
  using subsong_infos = std::vector<std::pair<track_handle_ptr, track_info_impl>>;
  static void read_subsong_infos(const char* path, info_reader& reader, subsong_infos& out,
                                 const abort_signal& abort);
  // Adds each of them with the file's stats, stamped now.
  void add_subsongs(const subsong_infos& infos, const vantrel_io::file_stats& stats);
  // Both, with the stats the reader reports.
  void read_all_subsongs(const char* path, info_reader& reader, const abort_signal& abort);

  // Adds every entry to `target` (with the latest-read rule) and empties
  // this batch.
  void move_into(info_batch& target);

  std::uint32_t pending_count() const noexcept { return static_cast<std::uint32_t>(entries_.size()); }

  // Stores every entry in its handle (never forced: info that is already
  // newer stays), empties the batch and publishes the handles whose info was
  // stored, with flag 0. The texts move into the handles: a large selection's
  // are never held twice. A failure (memory) leaves the batch empty; handles
  // that took their info before it keep it, and not every listener may have
  // heard.
  void commit(const service_registry_table& table = service_registry::table());

private:
  struct entry {
    track_handle_ptr handle;
    track_display_info record;
    std::uint64_t file_time = 0;
    std::uint64_t read_time = 0;
  };
  service_ptr<info_hook> hook_;
  std::map<const track_handle*, entry> entries_;
};
