// The owner the library benchmarks give a folder worker: it keeps only the
// number of tracks the folder holds and when the first of them arrived.
#pragma once

#include <cstdint>

#include "bench/bench_clock.h"
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

}  // namespace bench
