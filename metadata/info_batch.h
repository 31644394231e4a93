// Freshly read info for many tracks, gathered by a metadata operation and
// stored in one step, then published once for all of them.
#pragma once

#include <cstdint>
#include <map>

#include "core/abort_signal.h"
#include "core/service_registry.h"
#include "metadata/track_display_info.h"
#include "metadata/track_handle.h"

// What a file's stats tell about the info read from it.
struct file_stats {
  std::uint64_t size = ~std::uint64_t(0);
  std::uint64_t file_time = 0;
};

// An input opened for reading info, as far as a batch needs it. The adapter
// over a decoder fills each subsong's display record from its tags.
class info_batch_input {
public:
  virtual file_stats get_stats(const abort_signal& abort) = 0;
  virtual std::uint32_t subsong_count() = 0;
  virtual std::uint32_t subsong_at(std::uint32_t index) = 0;
  virtual void read_info(std::uint32_t subsong, track_display_info& out, const abort_signal& abort) = 0;

protected:
  ~info_batch_input() = default;
};

class info_batch {
public:
  // Takes `record` for `handle`, with the current system time as its read
  // time when `stamp` is set (else 0).
  void add(const track_handle_ptr& handle, const track_display_info& record, const file_stats& stats, bool stamp);
  // The same with a given read time. Of two reads of one handle the later
  // one wins; at equal read times (the clock ticks coarsely, and unstamped
  // reads all carry 0) the one added last, which is the fresher read.
  void add_read(const track_handle_ptr& handle, const track_display_info& record, std::uint64_t file_time,
                std::uint64_t read_time);

  // Adds every subsong of the opened file at `path`, stamped now. The whole
  // file (subsong 0) is always added too, since lists may name the file itself.
  void read_all_subsongs(const char* path, info_batch_input& input, const abort_signal& abort);

  std::uint32_t pending_count() const noexcept { return static_cast<std::uint32_t>(entries_.size()); }

  // Stores every entry in its handle (never forced: info that is already
  // newer stays), empties the batch and publishes the handles whose info was
  // stored, with flag 0.
  void commit(const service_registry_table& table = service_registry::table());

private:
  struct entry {
    track_handle_ptr handle;
    track_display_info record;
    std::uint64_t file_time = 0;
    std::uint64_t read_time = 0;
  };
  std::map<const track_handle*, entry> entries_;
};
