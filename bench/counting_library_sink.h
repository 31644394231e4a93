// The owner the library benchmarks give a folder worker: it keeps only the
// number of tracks the folder holds and when the first of them arrived.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "bench/bench_clock.h"
#include "core/main_thread_queue.h"
#include "library/library_folder.h"
#include "library/library_folder_sink.h"

namespace bench {

class counting_library_sink final : public library_folder_sink {
public:
  std::uint32_t tracks = 0;
  double first_added = 0;  // bench::now_seconds(); 0 = none yet
  bool accept(const char*) override { return true; }
  void tracks_added(const track_handle_list& handles) override {
    if (first_added == 0 && !handles.empty()) first_added = bench::now_seconds();
    tracks += std::uint32_t(handles.size());
  }
  void tracks_removed(const track_handle_list& handles) override { tracks -= std::uint32_t(handles.size()); }
  void set_scanning(bool) override {}
  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }
};

// One scan of `folder_url` with the library's folder worker, to its end, in
// seconds. A new folder object each time, the last one's handles gone with
// it: every file is opened and its info read again.
inline double timed_folder_scan(const std::string& folder_url, counting_library_sink& sink) {
  track_handle_list restored;
  const double start = bench::now_seconds();
  library_folder_ptr scanner =
      folder_monitor::create(&sink, folder_url.c_str(), nullptr, library_folder::mode_no_monitoring, restored);
  while (!scanner->is_ready()) {
    main_thread_queue::drain(true);
    Sleep(1);
  }
  main_thread_queue::drain(true);
  const double elapsed = bench::now_seconds() - start;
  scanner.reset();
  main_thread_queue::drain(true);
  return elapsed;
}

}  // namespace bench
