// What the library tests share: the ".tst" input with a count of its opens,
// this thread as the main thread, a sink that records what a folder reports,
// and waiting for a condition while the main-thread queue runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "io/file_scheme.h"
#include "library/library_folder_sink.h"
#include "library/media_library.h"
#include "tests/io/io_test_support.h"
#include "tests/metadata/tst_input.h"
#include "tests/support/single_factory.h"

namespace library_test {

// Every info read of a ".tst" file counts as one open of an audio file.
class counting_tst_input : public metadata_test::tst_input {
public:
  static inline std::atomic<int> opens{0};
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    ++opens;
    tst_input::open_for_info_read(out, std::move(file), path, abort);
  }
};

// Registers the input for the test's lifetime, on top of the program's
// own services.
class tst_input_registration {
public:
  tst_input_registration() {
    qiv::set_main_thread_id(GetCurrentThreadId());
    vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
    service_factory* list = service_factory::global_list_head;
    factory_ = std::make_unique<single_factory<counting_tst_input>>(&list);
    service_registry::table().build(list);
  }
  ~tst_input_registration() { service_registry::table().build(service_factory::global_list_head); }

private:
  std::unique_ptr<single_factory<counting_tst_input>> factory_;
};

// The tracks a folder holds, as "path:subsong" relative to `root`, and how
// often each was reported added.
class recording_sink : public library_folder_sink {
public:
  explicit recording_sink(std::string root = "") : root_(std::move(root)) {}

  std::set<std::string> tracks;
  std::map<std::string, int> times_added;
  std::set<std::string> refused;  // names whose files the owner keeps out
  std::atomic<bool> scanning{false};

  bool accept(const char* path) override {
    const std::string name = path;
    for (const std::string& refused_name : refused)
      if (name.size() >= refused_name.size() && name.compare(name.size() - refused_name.size(), std::string::npos,
                                                             refused_name) == 0)
        return false;
    return true;
  }
  void tracks_added(const track_handle_list& handles) override {
    for (const track_handle_ptr& handle : handles) {
      const std::string key = name(handle);
      tracks.insert(key);
      ++times_added[key];
    }
  }
  void tracks_removed(const track_handle_list& handles) override {
    for (const track_handle_ptr& handle : handles) tracks.erase(name(handle));
  }
  void set_scanning(bool value) override { scanning = value; }

  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }

private:
  std::string name(const track_handle_ptr& handle) const {
    std::string path = handle->get_location().get_path();
    if (path.compare(0, root_.size(), root_) == 0) path = path.substr(root_.size());
    return path + ":" + std::to_string(handle->get_location().get_subsong());
  }
  std::string root_;
};

// Runs the main-thread queue until `done` answers true; false after
// `seconds`. Generous bounds keep the tests calm on a loaded machine.
template <class Condition>
bool wait_until(Condition done, double seconds = 20.0) {
  const DWORD start = GetTickCount();
  for (;;) {
    main_thread_queue::drain(true);
    if (done()) return true;
    if (GetTickCount() - start > seconds * 1000) return false;
    Sleep(10);
  }
}

// Loads the library, scans every folder once more and waits until the
// library holds `count` tracks; false when it never does.
inline bool rescan_until_tracks(std::size_t count) {
  media_library::ensure_loaded();
  media_library::rescan_folders();
  return wait_until([&] {
    track_handle_list all;
    media_library::get_all(all);
    return all.size() == count;
  });
}

inline void make_folder(const std::string& path) { CreateDirectoryW(io_test::wide(path).c_str(), nullptr); }

}  // namespace library_test
