// The library scan against its floor, in the same run under the same Wine:
// the library's folder worker (listing, named locks, the player's inputs and
// tag readers, the info batch, the hand-over to the main thread) over FOLDER,
// and beside it the bare loop any scanner must at least make over the same
// files: list the folders, open each file, read its head and its tail, close
// it. Rounds alternate the two after one unmeasured pass of each that warms
// the system's cache; the medians and their ratio close the output, with
// how soon the first tracks reached the owner as a share of the whole scan.
// bench/library_scan_bench.sh makes the tagged files (FLAC and MP3 with
// pictures) and runs this program on them:
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_library_scan.exe FOLDER [ROUNDS]
#include "bench/bench_clock.h"
#include "bench/counting_library_sink.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "io/file_scheme.h"
#include "library/library_folder.h"

namespace {

// What a tag reader reads at least: the tags and stream headers at the
// start, and the trailing tags of formats that keep them at the end.
constexpr DWORD head_bytes = 65536;
constexpr DWORD tail_bytes = 4096;

// The floor: files found and the bytes read, so that a loop that failed to
// open or read shows itself.
struct floor_totals {
  std::uint32_t files = 0;
  std::uint64_t bytes = 0;
};

void read_head_and_tail(const std::wstring& path, std::vector<char>& buffer, floor_totals& totals) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  ++totals.files;
  DWORD got = 0;
  if (ReadFile(file, buffer.data(), head_bytes, &got, nullptr)) totals.bytes += got;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > static_cast<LONGLONG>(head_bytes)) {
    OVERLAPPED at = {};
    const std::uint64_t start = std::max<std::uint64_t>(head_bytes, size.QuadPart - tail_bytes);
    at.Offset = static_cast<DWORD>(start);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    if (ReadFile(file, buffer.data(), tail_bytes, &got, &at)) totals.bytes += got;
  }
  CloseHandle(file);
}

void floor_walk(const std::wstring& folder, std::vector<char>& buffer, floor_totals& totals) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) floor_walk(folder + L"\\" + name, buffer, totals);
    else read_head_and_tail(folder + L"\\" + name, buffer, totals);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

double run_floor(const std::wstring& folder, floor_totals& totals) {
  std::vector<char> buffer(head_bytes);
  totals = {};
  const double start = bench::now_seconds();
  floor_walk(folder, buffer, totals);
  return bench::now_seconds() - start;
}

// One scan to its end (every file read again), with how soon its first
// tracks reached the owner.
double run_scan(const std::string& folder_url, std::uint32_t& tracks, double& first_tracks) {
  bench::counting_library_sink sink;
  const double start = bench::now_seconds();
  const double elapsed = bench::timed_folder_scan(folder_url, sink);
  tracks = sink.tracks;
  first_tracks = sink.first_added - start;
  return elapsed;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::wstring widen(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  out.resize(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size())) - 1);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: bench_library_scan FOLDER [ROUNDS]\n");
    return 2;
  }
  qiv::set_main_thread_id(GetCurrentThreadId());
  vantrel_io::file_scheme_handler();
  service_registry::table().build(service_factory::global_list_head);
  std::string folder = argv[1];
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  const std::wstring wide_folder = widen(folder);
  const std::string folder_url = "file://" + folder;
  const int rounds = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;

  floor_totals totals;
  std::uint32_t tracks = 0;
  double first_tracks = 0;
  run_floor(wide_folder, totals);
  run_scan(folder_url, tracks, first_tracks);
  if (totals.files == 0) {
    std::printf("no files in %s\n", folder.c_str());
    return 1;
  }
  std::printf("%u files, %u tracks found by the scan\n", totals.files, tracks);
  if (tracks < totals.files) std::printf("warning: the scan found fewer tracks than files\n");

  std::vector<double> floor_rates, scan_rates, first_shares;
  for (int round = 0; round < rounds; ++round) {
    const double floor_seconds = run_floor(wide_folder, totals);
    const double scan_seconds = run_scan(folder_url, tracks, first_tracks);
    floor_rates.push_back(totals.files / floor_seconds);
    scan_rates.push_back(totals.files / scan_seconds);
    first_shares.push_back(first_tracks / scan_seconds);
    std::printf("round %d: floor %.0f files/s, scan %.0f files/s, ratio %.2f; first tracks after %.3f s\n", round + 1,
                floor_rates.back(), scan_rates.back(), scan_seconds / floor_seconds, first_tracks);
  }
  // How early a large folder shows something, against its own whole scan.
  std::sort(first_shares.begin(), first_shares.end());
  std::printf("first tracks / whole scan: min %.3f, median %.3f, max %.3f\n", first_shares.front(),
              median(first_shares), first_shares.back());
  const double floor_median = median(floor_rates);
  const double scan_median = median(scan_rates);
  std::printf("floor (open, head %lu B, tail %lu B, close): %.0f files/s\n", head_bytes, tail_bytes, floor_median);
  std::printf("library scan: %.0f files/s\n", scan_median);
  std::printf("scan time / floor time: %.2f\n", floor_median / scan_median);
  return 0;
}
