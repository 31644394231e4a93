// zorvtool scan FOLDER [--monitor SECONDS]: runs the player's own library
// folder worker on FOLDER and prints every track as it is added ("+ ") or
// removed ("- "), then the time the first pass took. With --monitor the
// worker goes on following the folder for SECONDS after that pass.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/main_thread_queue.h"
#include "foundation/main_thread.h"
#include "io/native_operations.h"
#include "io/path_schemes.h"
#include "library/library_folder.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

class printing_sink final : public library_folder_sink {
public:
  std::uint32_t track_count = 0;

  bool accept(const char*) override { return true; }
  void tracks_added(const track_handle_list& handles) override { print("+ ", handles, +1); }
  void tracks_removed(const track_handle_list& handles) override { print("- ", handles, -1); }
  void set_scanning(bool) override {}

  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }

private:
  void print(const char* prefix, const track_handle_list& handles, int sign) {
    std::string out;
    for (const track_handle_ptr& handle : handles) {
      const track_location& location = handle->get_location();
      out += prefix + std::string(location.get_path()) + " #" + std::to_string(location.get_subsong()) + "\n";
    }
    track_count += sign * static_cast<int>(handles.size());
    zorvtool::print(out);
  }
};

// Runs main-thread work until `done` or the deadline (0: none).
template <class Condition>
void run_main_thread(Condition done, DWORD deadline_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    main_thread_queue::drain(true);
    if (done()) return;
    if (deadline_ms != 0 && GetTickCount() - start >= deadline_ms) return;
    Sleep(5);
  }
}

int run_scan(const zorvtool::arguments& args) {
  double monitor_seconds = -1;
  if (args.size() == 3 && args[1] == "--monitor") {
    monitor_seconds = std::atof(args[2].c_str());
    if (monitor_seconds <= 0) {
      zorvtool::print_error("--monitor takes a number of seconds above 0\n");
      return 2;
    }
  } else if (args.size() != 1) {
    zorvtool::print_error("usage: zorvtool scan FOLDER [--monitor SECONDS]\n");
    return 2;
  }
  const std::string folder = zorvtool::system_path(args[0]);
  if (!vantrel_io::native_is_directory(folder.c_str())) {
    zorvtool::print_error("not a folder: " + args[0] + "\n");
    return 1;
  }
  qiv::set_main_thread_id(GetCurrentThreadId());
  printing_sink sink;
  track_handle_list restored;
  const std::uint32_t mode = monitor_seconds > 0 ? 0 : library_folder::mode_no_monitoring;
  const DWORD start = GetTickCount();
  library_folder_ptr worker = folder_monitor::create(&sink, folder.c_str(), nullptr, mode, restored);
  run_main_thread([&] { return worker->is_ready(); }, 0);
  main_thread_queue::drain(true);
  char line[96];
  std::snprintf(line, sizeof line, "scanned %u tracks in %.3f s\n", sink.track_count, (GetTickCount() - start) / 1000.0);
  zorvtool::print(line);
  if (monitor_seconds > 0) {
    run_main_thread([] { return false; }, static_cast<DWORD>(monitor_seconds * 1000));
    worker.reset();
    main_thread_queue::drain(true);
    zorvtool::print("monitored, " + std::to_string(sink.track_count) + " tracks\n");
  }
  return 0;
}

const zorvtool::command_registration registration(
    {"scan", "scan FOLDER [--monitor SECONDS]  scan FOLDER as a library folder, printing tracks as they come and go",
     run_scan});

}  // namespace
