// The metadata update operation, as the tag editor's Apply runs it, over the
// FLAC and the MP3 files of FOLDER, each format apart: every round writes a
// new artist into every file. Beside it, in the same run, the bare floor of
// any in-place retag on this platform: open each file, read its first
// 64 KiB, write 16 bytes back where they were, close. Prints min / median /
// max per format.
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_metadata_update.exe FOLDER [ROUNDS]
// bench/metadata_update_bench.sh makes the files (and runs mutagen beside it).
#include "bench/bench_clock.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "io/file_scheme.h"
#include "io/path_schemes.h"
#include "metadata/metadata_io.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"
#include "tests/support/quiet_status.h"

namespace {

using test_support::quiet_status;

class artist_filter : public info_update_filter {
public:
  std::string artist;
  bool update(const track_handle_ptr&, const vantrel_io::file_stats&, track_info& info) override {
    info.set_field("artist", track_info::until_nul, artist.c_str(), artist.size());
    return true;
  }
};

std::vector<std::string> files_of(const std::string& folder, const char* extension) {
  std::vector<std::string> paths;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*." + extension).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return paths;
  do paths.push_back("file://" + folder + "\\" + found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(paths.begin(), paths.end());
  return paths;
}

double update_ms(const std::vector<std::string>& paths, const std::string& artist) {
  track_handle_list handles;
  for (const std::string& path : paths) handles.push_back(track_handle_registry::get_handle(track_location(path.c_str(), 0)));
  service_ptr<artist_filter> filter(new service_counted<artist_filter>());
  filter->artist = artist;
  service_ptr<metadata_update_operation> operation(new service_counted<metadata_update_operation>(
      handles, filter.get(), metadata_flag_no_error_popup, nullptr, nullptr));
  quiet_status status;
  raisable_abort_signal abort;
  const double start = bench::now_seconds();
  operation->run(status, abort);
  operation->on_done(nullptr, false);
  const double elapsed = (bench::now_seconds() - start) * 1000.0;
  if (!operation->get_errors().empty()) {
    std::fprintf(stderr, "%s: %s\n", operation->get_errors()[0].handle->get_location().get_path(),
                 operation->get_errors()[0].message.c_str());
    std::exit(1);
  }
  return elapsed;
}

double floor_ms(const std::vector<std::string>& paths) {
  const double start = bench::now_seconds();
  std::vector<char> head(64 * 1024);
  for (const std::string& path : paths) {
    const std::string native = path.substr(7);
    const HANDLE file = CreateFileA(native.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) std::exit(1);
    DWORD moved = 0;
    ReadFile(file, head.data(), DWORD(head.size()), &moved, nullptr);
    SetFilePointer(file, 4096, nullptr, FILE_BEGIN);
    WriteFile(file, head.data() + 4096, 16, &moved, nullptr);
    CloseHandle(file);
  }
  return (bench::now_seconds() - start) * 1000.0;
}

void print(const char* name, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("%-40s min %8.1f  median %8.1f  max %8.1f ms\n", name, values.front(), values[values.size() / 2],
              values.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_metadata_update FOLDER [ROUNDS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  qiv::set_main_thread_id(GetCurrentThreadId());
  vantrel_io::file_scheme_handler();
  service_registry::table().build(service_factory::global_list_head);
  const std::vector<std::string> flac = files_of(folder, "flac");
  const std::vector<std::string> mp3 = files_of(folder, "mp3");
  std::vector<double> flac_times, mp3_times, floor_times;
  for (int round = 0; round < rounds; ++round) {
    const std::string artist = "Bench artist " + std::to_string(round);
    flac_times.push_back(update_ms(flac, artist));
    mp3_times.push_back(update_ms(mp3, artist));
    std::vector<std::string> all = flac;
    all.insert(all.end(), mp3.begin(), mp3.end());
    floor_times.push_back(floor_ms(all));
  }
  std::printf("%zu FLAC and %zu MP3 files, %d rounds\n", flac.size(), mp3.size(), rounds);
  print("update, FLAC files", flac_times);
  print("update, MP3 files", mp3_times);
  print("open, read, write back, close (floor)", floor_times);
  return 0;
}
