// Lets track handles take the info stored with a saved list of tracks (the
// media library's file) where their own is missing or older, then announces
// the handles that took it, once.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "metadata/main_thread_posting.h"
#include "metadata/track_handle.h"
#include "metadata/track_location.h"

class cached_info_refresher : public main_thread_target {
public:
  static constexpr GUID class_guid = {0x236BBFBB, 0xA83E, 0x4881, {0x8C, 0x3A, 0x55, 0x75, 0xAB, 0xAC, 0xF3, 0x72}};
  using service_parent = service_object;

  // Reads one stored record from `source`; `handle` takes it when its own
  // info is missing or older than `timestamp`, and is then remembered.
  void refresh(const track_handle_ptr& handle, std::uint64_t timestamp, vantrel_io::reader& source,
               const abort_signal& abort);
  // The same for the handle of `location`, which `out` receives. A handle
  // that nobody else holds is not remembered: nothing shows it.
  void refresh_location(track_handle_ptr& out, const track_location& location, std::uint64_t timestamp,
                        vantrel_io::reader& source, const abort_signal& abort);
  // Announces the remembered handles: at once on the main thread, from
  // elsewhere on a later turn of the main loop.
  void commit();

  void on_main_thread(std::uint32_t) override { commit(); }

private:
  void remember(const track_handle_ptr& handle);

  std::mutex lock_;  // the reading thread and the main thread's commit
  track_handle_list refreshed_;
};
