// Switching the main window's list to each view of a library of 100,000
// tracks held in memory (9,100 albums, one artist with 300 of them), and to
// a folder of 10,000 files (goal: under 100 ms each), against the same
// switches over a library and a folder a hundredth and a tenth that size;
// then collecting every track for playback from the albums root.
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_library_views.exe
#include "bench/bench_clock.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "library/fs_node.h"
#include "library/library_view_node.h"
#include "metadata/track_handle_registry.h"

namespace {

constexpr std::uint32_t track_count = 100000;
constexpr std::uint32_t reference_track_count = 1000;
constexpr std::uint32_t folder_file_count = 10000;
constexpr std::uint32_t reference_folder_file_count = 1000;
constexpr int rounds = 7;

class memory_library final : public library_view_tracks {
public:
  track_handle_list tracks;
  void get_all(track_handle_list& out) override { out = tracks; }
  void register_callback(library_change_callback*) override {}
  void unregister_callback(library_change_callback*) override {}
  bool is_scanning() override { return false; }
};

// Albums of about eleven tracks; the first 300 belong to one artist, the
// others to 2,000 artists in turn.
void fill(memory_library& library, std::uint32_t count, const char* root) {
  library.tracks.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t album = i * 91 / 1000, track = i - album * 1000 / 91;
    const std::uint32_t artist = album < 300 ? 0 : 1 + album % 2000;
    const std::string artist_name = artist == 0 ? "The Prolific Band" : "artist " + std::to_string(artist);
    const std::string path = std::string("file://") + root + "\\" + artist_name + "\\Album " + std::to_string(album) +
                             "\\" + std::to_string(track) + ".flac";
    track_handle_ptr handle = track_handle_registry::get_handle(track_location(path.c_str(), 0));
    track_display_info info;
    info.set(field_name_set::title, ((i % 3 ? "Song " : "song ") + std::to_string(i % 60000)).c_str());
    info.set(field_name_set::artist, artist_name.c_str());
    info.set(field_name_set::genre, ("Genre " + std::to_string(album % 300) + "; Rock").c_str());
    info.set(field_name_set::album, ("Album " + std::to_string(album)).c_str());
    info.set(field_name_set::track_number, std::to_string(track + 1).c_str());
    info.set(field_name_set::date, std::to_string(1960 + album % 60).c_str());
    handle->set_info(info, 1, 0, true);
    library.tracks.push_back(std::move(handle));
  }
}

struct figures {
  double min, median, max;
};

figures measure(const std::function<void()>& switch_view) {
  std::vector<double> seconds;
  for (int i = 0; i < rounds; ++i) {
    const double start = bench::now_seconds();
    switch_view();
    seconds.push_back(bench::now_seconds() - start);
  }
  std::sort(seconds.begin(), seconds.end());
  return {seconds.front(), seconds[seconds.size() / 2], seconds.back()};
}

void report(const char* what, const figures& big, const figures& small, std::size_t entries) {
  std::printf("%-22s %6.1f / %6.1f / %6.1f ms (min / median / max, %zu entries, goal 100 ms); reference %5.1f ms, "
              "%.1f x\n",
              what, big.min * 1000, big.median * 1000, big.max * 1000, entries, small.median * 1000,
              big.median / small.median);
}

// Library views: the artists and albums roots, All songs, and the albums of
// the artist with the most.
void measure_library_views(memory_library& big, memory_library& small) {
  const struct {
    const char* name;
    nav_path path;
  } views[] = {{"artists", {{}}},
               {"albums", {{}, {}}},
               {"all songs", {{}, {}, {}}},
               {"one artist's albums", {{}, {L"The Prolific Band"}}}};
  for (const auto& view : views) {
    std::size_t entries = 0;
    const figures at_big = measure([&] { entries = library_view_node(nullptr, view.path, big).entries().size(); });
    const figures at_small = measure([&] { library_view_node(nullptr, view.path, small); });
    report(view.name, at_big, at_small, entries);
  }
  library_view_node albums(nullptr, {{}, {}}, big);
  const double start = bench::now_seconds();
  track_handle_list all;
  albums.get_all_tracks(all);
  std::printf("albums play all: %.0f ms for %zu tracks\n", (bench::now_seconds() - start) * 1000, all.size());
}

std::wstring make_folder(const std::wstring& parent, const wchar_t* name, std::uint32_t files) {
  const std::wstring folder = parent + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  for (std::uint32_t i = 0; i < files; ++i) {
    const std::wstring file = folder + L"\\" + std::to_wstring(i + 1) + L" Track.flac";
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  return folder;
}

void remove_folder(const std::wstring& folder, std::uint32_t files) {
  for (std::uint32_t i = 0; i < files; ++i) DeleteFileW((folder + L"\\" + std::to_wstring(i + 1) + L" Track.flac").c_str());
  RemoveDirectoryW(folder.c_str());
}

void measure_folder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring big = make_folder(temp, L"zorv-views-bench-big", folder_file_count);
  const std::wstring small = make_folder(temp, L"zorv-views-bench-small", reference_folder_file_count);
  std::size_t entries = 0;
  const figures at_big = measure([&] { entries = fs_node(nullptr, nav_split_path(big)).entries().size(); });
  const figures at_small = measure([&] { fs_node(nullptr, nav_split_path(small)); });
  report("folder", at_big, at_small, entries);
  remove_folder(big, folder_file_count);
  remove_folder(small, reference_folder_file_count);
}

}  // namespace

int main() {
  qiv::set_main_thread_id(GetCurrentThreadId());
  service_registry::table().build(service_factory::global_list_head);
  memory_library big, small;
  fill(big, track_count, "C:\\Music");
  fill(small, reference_track_count, "C:\\Reference");
  measure_library_views(big, small);
  measure_folder();
  return 0;
}
