// The owner the library benchmarks give a folder worker: it keeps only the
// number of tracks the folder holds.
#pragma once

#include <cstdint>

#include "library/library_folder_sink.h"

namespace bench {

class counting_library_sink final : public library_folder_sink {
public:
  std::uint32_t tracks = 0;
  bool accept(const char*) override { return true; }
  void tracks_added(const track_handle_list& handles) override { tracks += std::uint32_t(handles.size()); }
  void tracks_removed(const track_handle_list& handles) override { tracks -= std::uint32_t(handles.size()); }
  void set_scanning(bool) override {}
  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }
};

}  // namespace bench
