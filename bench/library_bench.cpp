// The media library: loading a "database.dat" of 100,000 tracks (budget:
// under 1 s), the memory it holds per track (against an empty library's in
// the same run), and dropping it again; saving it at exit when nothing
// changed, against saving an empty library and against writing the whole
// file; the first scan of an empty folder against that of a folder with one
// file; and, given a FOLDER of audio files, scanning it with the library's
// folder worker in files per second (first run, then a repeat with every
// cached info dropped). `--load` stops after the load's figures, so that a
// few runs give the memory figure's spread. bench/peers/library_scan_peer.sh
// makes 10,000 tagged files and reads them with TagLib too.
#include "bench/bench_clock.h"
#include "bench/counting_library_sink.h"
#include "bench/library_file.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "io/file_scheme.h"
#include "io/path_schemes.h"
#include "library/library_database.h"
#include "library/library_folder.h"
#include "library/media_library.h"
#include "metadata/input_dispatch.h"

namespace {

constexpr std::uint32_t track_count = bench::library_track_count;

void write_file(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string use_temporary_profile() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string profile = std::string(temp) + "zorv-library-bench";
  CreateDirectoryA(profile.c_str(), nullptr);
  app::state().profile_path = qiv::string_small(("file://" + profile).c_str());
  config::library_monitor_folders.set(false);  // no worker: the stored library alone
  return profile;
}

const char* const stored_folder_text = "C:\\bench-music-that-does-not-exist";

void print_spread(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s: min %.1f ms, median %.1f ms, max %.1f ms\n", what, ms.front(), ms[ms.size() / 2], ms.back());
}

// The save at exit, each kind timed in every round: the loaded library
// unchanged, an empty library, and the loaded library with a change.
void bench_save() {
  const std::string profile = use_temporary_profile();
  const std::string library_file = bench::make_library_file(stored_folder_text);
  const std::string empty_file = library_file.substr(0, 16) + std::string(4, '\0');
  std::vector<double> unchanged, empty, changed;
  const auto timed_save = [&](const std::string& bytes, const std::vector<std::string>& folders, bool change,
                              std::vector<double>& out) {
    write_file(profile + "\\database.dat", bytes);
    media_library::set_folder_list(folders);
    media_library::ensure_loaded();
    if (change) media_library::mark_unsaved();
    const double start = bench::now_seconds();
    library_database_save(false);
    out.push_back((bench::now_seconds() - start) * 1000);
    media_library::shutdown();
  };
  for (int round = 0; round < 7; ++round) {
    timed_save(library_file, {stored_folder_text}, false, unchanged);
    timed_save(empty_file, {}, false, empty);
    timed_save(library_file, {stored_folder_text}, true, changed);
  }
  print_spread("save at exit, 100,000 tracks unchanged", unchanged);
  print_spread("save at exit, empty library", empty);
  print_spread("save at exit, 100,000 tracks changed (the whole file written)", changed);
  DeleteFileA((profile + "\\database.dat").c_str());
  RemoveDirectoryA(profile.c_str());
}

std::uint64_t committed_bytes() {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  // Wine reports no private usage; the committed memory stands for it.
  return memory.PagefileUsage;
}

// The memory the first load of a library file commits, measured once per
// process: later loads reuse what the heap kept of the earlier ones.
std::uint64_t first_load_commit(const std::string& profile, const std::string& bytes,
                                const std::vector<std::string>& folders) {
  write_file(profile + "\\database.dat", bytes);
  media_library::set_folder_list(folders);
  const std::uint64_t before = committed_bytes();
  media_library::ensure_loaded();
  const std::uint64_t after = committed_bytes();
  media_library::shutdown();
  return after > before ? after - before : 0;
}

// Loading, then dropping the whole library, each timed in every round, with
// the memory the loaded library holds per track: the committed bytes of its
// first load less those of an empty library's first load in the same run.
void bench_load() {
  const std::string profile = use_temporary_profile();
  const std::string folder_text = stored_folder_text;
  const std::string library_file = bench::make_library_file(folder_text);
  const std::string empty_file = library_file.substr(0, 16) + std::string(4, '\0');
  const std::uint64_t empty_commit = first_load_commit(profile, empty_file, {});
  const std::uint64_t full_commit = first_load_commit(profile, library_file, {folder_text});
  std::vector<double> load_ms, drop_ms;
  std::size_t tracks = 0;
  for (int round = 0; round < 7; ++round) {
    const double start = bench::now_seconds();
    media_library::ensure_loaded();
    load_ms.push_back((bench::now_seconds() - start) * 1000);
    {
      track_handle_list all;
      media_library::get_all(all);
      tracks = all.size();
    }
    const double dropping = bench::now_seconds();
    media_library::shutdown();
    drop_ms.push_back((bench::now_seconds() - dropping) * 1000);
  }
  std::printf("library of %zu tracks\n", tracks);
  print_spread("load of database.dat (budget 1000 ms)", load_ms);
  print_spread("drop of the loaded library (an exit leaves it to the system instead)", drop_ms);
  std::printf("memory the first load commits: %.2f MB with %u tracks, %.2f MB for an empty library\n",
              full_commit / 1048576.0, track_count, empty_commit / 1048576.0);
  std::printf("memory per track: %.0f bytes\n",
              (double(full_commit) - double(empty_commit)) / track_count);
  DeleteFileA((profile + "\\database.dat").c_str());
  RemoveDirectoryA(profile.c_str());
}

// One scan of `folder_url` to its end; every file is read again.
double timed_scan(const std::string& folder_url, std::uint32_t* tracks = nullptr) {
  bench::counting_library_sink sink;
  const double elapsed = bench::timed_folder_scan(folder_url, sink);
  if (tracks != nullptr) *tracks = sink.tracks;
  return elapsed;
}

// An empty folder costs what a folder of one file costs, less the file.
void bench_small_scans() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string empty = std::string(temp) + "zorv-scan-bench-empty";
  const std::string one = std::string(temp) + "zorv-scan-bench-one";
  CreateDirectoryA(empty.c_str(), nullptr);
  CreateDirectoryA(one.c_str(), nullptr);
  // A WAV file of a tenth of a second of silence.
  std::string wav = "RIFF";
  const std::uint32_t data_bytes = 4410 * 4;
  bench::put_u32(wav, 36 + data_bytes);
  wav += "WAVEfmt ";
  bench::put_u32(wav, 16);
  bench::put_u32(wav, 0x00020001);  // PCM, two channels
  bench::put_u32(wav, 44100);
  bench::put_u32(wav, 44100 * 4);
  bench::put_u32(wav, 0x00100004);  // four bytes a frame, 16 bits
  wav += "data";
  bench::put_u32(wav, data_bytes);
  wav.append(data_bytes, '\0');
  write_file(one + "\\one.wav", wav);
  std::vector<double> empty_ms, one_ms;
  timed_scan("file://" + empty);
  timed_scan("file://" + one);
  for (int round = 0; round < 7; ++round) {
    empty_ms.push_back(timed_scan("file://" + empty) * 1000);
    one_ms.push_back(timed_scan("file://" + one) * 1000);
  }
  print_spread("scan of an empty folder", empty_ms);
  print_spread("scan of a folder with one file", one_ms);
  DeleteFileA((one + "\\one.wav").c_str());
  RemoveDirectoryA(one.c_str());
  RemoveDirectoryA(empty.c_str());
}

// Files in the folder and its subfolders; `first` receives one of them.
std::uint32_t count_files(const std::string& folder, std::string& first) {
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &data);
  std::uint32_t count = 0;
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data)) {
    const std::string name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (name != "." && name != "..") count += count_files(folder + "\\" + name, first);
      continue;
    }
    if (first.empty()) first = folder + "\\" + name;
    ++count;
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return count;
}

void bench_scan(const std::string& folder) {
  std::string first;
  const std::uint32_t files = count_files(folder, first);
  claimant_list claimants;
  if (files == 0 || !input_dispatch::collect_by_path(claimants, ("file://" + first).c_str(), false)) {
    std::printf("scan: no input claims the files of %s; skipped\n", folder.c_str());
    return;
  }
  for (int pass = 0; pass < 2; ++pass) {
    std::uint32_t tracks = 0;
    const double elapsed = timed_scan("file://" + folder, &tracks);
    std::printf("library scan: %u files, %u tracks in %.3f s: %.0f files/s%s\n", files, tracks, elapsed,
                files / elapsed, pass == 0 ? ", first" : ", repeat");
  }
}

}  // namespace

int main(int argc, char** argv) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  vantrel_io::file_scheme_handler();
  service_registry::table().build(service_factory::global_list_head);
  bench_load();
  // Only the load's figures: one process measures the memory of one first load.
  if (argc == 2 && std::string(argv[1]) == "--load") return 0;
  bench_save();
  bench_small_scans();
  if (argc == 2) bench_scan(argv[1]);
  return 0;
}
