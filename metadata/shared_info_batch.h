// An info batch as a counted object, for code that reads tags on its own
// (the media library's scanner) and hands them to the track handles: it may
// gather on any thread and commits on the main thread.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "metadata/decoder_service.h"
#include "metadata/info_batch.h"
#include "metadata/main_thread_posting.h"

class track_info;

class shared_info_batch : public main_thread_target {
public:
  static constexpr GUID class_guid = {0x719DC072, 0x8D4D, 0x4AA6, {0xA6, 0xF3, 0x90, 0x73, 0x07, 0xE5, 0xBC, 0xEE}};
  using service_parent = service_object;

  // Records `info` for `handle` as read from a file stamped `timestamp`
  // (size unknown), with the current time as its read time when `fresh`.
  void add_info(const track_handle_ptr& handle, const track_info& info, std::uint64_t timestamp, bool fresh);
  // Records every subsong that `reader` reports for `path`.
  void add_from_reader(const char* path, info_reader& reader, const abort_signal& abort);
  // Hands what was recorded to the handles and announces the change: at once
  // on the main thread, from elsewhere on a later turn of the main loop.
  // Nothing happens when nothing was recorded.
  void commit();

  void on_main_thread(std::uint32_t) override { commit(); }

private:
  std::mutex lock_;  // the gathering thread and the main thread's commit
  info_batch batch_;
};
