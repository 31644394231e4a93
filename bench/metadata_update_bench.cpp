// One Apply of a title and artist edit over every file of FOLDER: the
// metadata update operation, as the tag editor's Apply runs it, appending
// TITLE_SUFFIX to each track's title and setting its artist to ARTIST. Beside
// it, in the same run, the bare floor of any in-place retag on this
// platform: open each file, read its first 64 KiB, write 16 bytes back where
// they were, close. Prints one line each, in milliseconds for all files.
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_metadata_update.exe FOLDER TITLE_SUFFIX ARTIST
// bench/metadata_update_bench.py makes the files, runs this once per edit and
// runs mutagen's same edit beside it.
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

// What Apply hands the update for a title and artist edited on every track:
// the info read from the file at the time of the write with those two fields
// changed.
class title_artist_filter : public info_update_filter {
public:
  std::string title_suffix;
  std::string artist;
  bool update(const track_handle_ptr&, const vantrel_io::file_stats&, track_info& info) override {
    const char* title = info.value_count("title") != 0 ? info.value("title", 0) : nullptr;
    const std::string new_title = (title != nullptr ? title : "") + title_suffix;
    info.set_field("title", track_info::until_nul, new_title.c_str(), new_title.size());
    info.set_field("artist", track_info::until_nul, artist.c_str(), artist.size());
    return true;
  }
};

std::vector<std::string> files_of(const std::string& folder) {
  std::vector<std::string> paths;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return paths;
  do
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      paths.push_back("file://" + folder + "\\" + found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(paths.begin(), paths.end());
  return paths;
}

double update_ms(const std::vector<std::string>& paths, const std::string& title_suffix, const std::string& artist) {
  track_handle_list handles;
  for (const std::string& path : paths) handles.push_back(track_handle_registry::get_handle(track_location(path.c_str(), 0)));
  service_ptr<title_artist_filter> filter(new service_counted<title_artist_filter>());
  filter->title_suffix = title_suffix;
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
    std::fprintf(stderr, "%zu of %zu files failed; first %s: %s\n", operation->get_errors().size(), paths.size(),
                 operation->get_errors()[0].handle->get_location().get_path(),
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_metadata_update FOLDER TITLE_SUFFIX ARTIST\n");
    return 2;
  }
  const std::string folder = argv[1];
  qiv::set_main_thread_id(GetCurrentThreadId());
  vantrel_io::file_scheme_handler();
  service_registry::table().build(service_factory::global_list_head);
  const std::vector<std::string> paths = files_of(folder);
  if (paths.empty()) {
    std::fprintf(stderr, "no files in %s\n", folder.c_str());
    return 1;
  }
  const double update = update_ms(paths, argv[2], argv[3]);
  const double floor = floor_ms(paths);
  std::printf("update of %zu files %.1f ms\n", paths.size(), update);
  std::printf("open, read, write back, close (floor) of %zu files %.1f ms\n", paths.size(), floor);
  return 0;
}
