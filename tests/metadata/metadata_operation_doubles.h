// What the tests of the metadata operations hand to them: a completion
// object that keeps its codes, a filter that retitles tracks, and a change
// callback that counts announcements.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "metadata/metadata_io.h"
#include "metadata/track_info_listener.h"

namespace metadata_test {

class recording_completion : public metadata_completion {
public:
  std::vector<std::uint32_t> codes;
  void on_completion(std::uint32_t code) override { codes.push_back(code); }
};

// Runs `step` for every track, then sets its title to `title`; writes
// nothing while `title` is empty.
class title_filter : public info_update_filter {
public:
  std::string title;
  std::function<void()> step;
  int calls = 0;
  bool update(const track_handle_ptr&, const vantrel_io::file_stats&, track_info& info) override {
    ++calls;
    if (step) step();
    if (title.empty()) return false;
    info.set_field("title", 5, title.data(), title.size());
    return true;
  }
};

class change_counter : public track_info_change_callback {
public:
  std::vector<std::size_t> announcements;  // the handle count of each
  void on_info_changed(const track_handle_list& handles, std::uint8_t) override {
    announcements.push_back(handles.size());
  }
};

}  // namespace metadata_test
