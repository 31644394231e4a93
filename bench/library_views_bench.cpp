// Switching the main window's list to each view of a library of 100,000
// tracks held in memory (9,100 albums, one artist with 300 of them), and to
// a folder of 10,000 files (goal: under 100 ms each), against the same
// switches over a library and a folder a hundredth and a tenth that size;
// then collecting every track for playback from the albums root. A switch
// builds the view, loads its entries into the owner-drawn list as the window
// does, and destroys the view it replaces. The same switches made through
// the navigation controller as the window makes them (the folder's too) show
// how long the window's thread is held (the view being built on a worker)
// and how long until the new list is on screen. Run under the test session's display:
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_library_views.exe [folder]
// With "folder" only the folder is measured.
#include "bench/bench_clock.h"
#include "bench/text_list_source.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "library/fs_node.h"
#include "core/main_thread_queue.h"
#include "library/library_view_node.h"
#include "library/nav_controller.h"
#include "metadata/track_handle_registry.h"
#include "ui/controls/owner_list.h"

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

// The main window's list, showing the entries of the view switched to.
bench::text_list_source list_source;
owner_list* shown_list = nullptr;

// Builds the view, shows its entries, and answers how many there are.
std::size_t show(const nav_node& node) {
  list_source.texts = &node.entries();
  shown_list->reload();
  list_source.texts = nullptr;
  shown_list->reload();
  return node.entries().size();
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
    const figures at_big = measure([&] { entries = show(library_view_node(nullptr, view.path, big)); });
    const figures at_small = measure([&] { show(library_view_node(nullptr, view.path, small)); });
    report(view.name, at_big, at_small, entries);
  }
  // What the window asks of each entry to mark the playing track, here one
  // listed last.
  library_view_node songs(nullptr, {{}, {}, {}}, big);
  const track_handle* playing = big.tracks.back().get();
  const double mark_start = bench::now_seconds();
  std::size_t marked = 0;
  for (const std::wstring& entry : songs.entries())
    if (!songs.is_container(entry) && songs.entry_is_track(entry, playing)) break;
    else ++marked;
  std::printf("all songs, playing track marked: %.1f ms after %zu entries\n",
              (bench::now_seconds() - mark_start) * 1000, marked);
  library_view_node albums(nullptr, {{}, {}}, big);
  const double start = bench::now_seconds();
  track_handle_list all;
  albums.get_all_tracks(all);
  std::printf("albums play all: %.0f ms for %zu tracks\n", (bench::now_seconds() - start) * 1000, all.size());
}

// The main window as far as the controller needs one: each new view goes
// into the list.
class list_host final : public nav_view_host {
public:
  explicit list_host(nav_controller& controller) : controller_(controller) {}
  nav_list_state list_state() override { return {}; }
  void view_changed() override {
    list_source.texts = &controller_.view().items;
    shown_list->reload();
  }
  void play_from(const wide_text_list&) override {}
  void node_changed() override {}
  void scanning_changed(bool) override {}

private:
  nav_controller& controller_;
};

struct window_switch {
  const char* name;
  nav_location location;
};

// Each location switched to from the one before, in turn, through the
// controller: the window's thread is held by the call and by the landing.
void measure_window_switches(memory_library& library, const window_switch* views, std::size_t count) {
  nav_controller controller(nullptr, library);
  list_host host(controller);
  controller.set_host(&host);
  std::vector<std::vector<double>> held(count), shown(count);
  // The first switch too comes from a view on screen, as the last does.
  controller.navigate(views[count - 1].location);
  while (controller.is_building()) {
    Sleep(1);
    main_thread_queue::drain(true);
  }
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t v = 0; v < count; ++v) {
      const double start = bench::now_seconds();
      controller.navigate(views[v].location);
      double holding = bench::now_seconds() - start;
      while (controller.is_building()) {
        Sleep(1);
        const double drain_start = bench::now_seconds();
        main_thread_queue::drain(true);
        holding += bench::now_seconds() - drain_start;
      }
      shown[v].push_back(bench::now_seconds() - start);
      held[v].push_back(holding);
    }
  }
  const auto figures_of = [](std::vector<double>& seconds) {
    std::sort(seconds.begin(), seconds.end());
    return figures{seconds.front(), seconds[seconds.size() / 2], seconds.back()};
  };
  for (std::size_t v = 0; v < count; ++v) {
    const figures on_screen = figures_of(shown[v]), holding = figures_of(held[v]);
    std::printf("window to %-19s shown %6.1f / %6.1f / %6.1f ms, window's thread held %5.1f / %5.1f / %5.1f ms "
                "(min / median / max)\n",
                views[v].name, on_screen.min * 1000, on_screen.median * 1000, on_screen.max * 1000,
                holding.min * 1000, holding.median * 1000, holding.max * 1000);
  }
  controller.set_host(nullptr);
}

void measure_window_switches(memory_library& big) {
  const window_switch views[] = {{"artists", {0, {{}}}},
                                 {"albums", {0, {{}, {}}}},
                                 {"all songs", {0, {{}, {}, {}}}},
                                 {"one artist's albums", {0, {{}, {L"The Prolific Band"}}}}};
  measure_window_switches(big, views, std::size(views));
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
  const figures at_big = measure([&] { entries = show(fs_node(nullptr, nav_split_path(big))); });
  const figures at_small = measure([&] { show(fs_node(nullptr, nav_split_path(small))); });
  report("folder", at_big, at_small, entries);
  // Through the window: the folder from the small one and back.
  memory_library no_library;
  const window_switch folders[] = {{"folder", {nav_kind_file_system, nav_split_path(big)}},
                                   {"reference folder", {nav_kind_file_system, nav_split_path(small)}}};
  measure_window_switches(no_library, folders, std::size(folders));
  remove_folder(big, folder_file_count);
  remove_folder(small, reference_folder_file_count);
}

}  // namespace

int main(int argc, char** argv) {
  const bool folder_only = argc > 1 && std::strcmp(argv[1], "folder") == 0;
  qiv::set_main_thread_id(GetCurrentThreadId());
  service_registry::table().build(service_factory::global_list_head);
  const HWND parent = CreateWindowExW(0, L"#32770", L"Library views bench", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0,
                                      820, 640, nullptr, nullptr, nullptr, nullptr);
  owner_list list(&list_source);
  const RECT area = {0, 0, 800, 600};
  SendMessageW(list.create(parent, area, 1), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  shown_list = &list;
  if (!folder_only) {
    memory_library big, small;
    fill(big, track_count, "C:\\Music");
    fill(small, reference_track_count, "C:\\Reference");
    measure_library_views(big, small);
    measure_window_switches(big);
  }
  measure_folder();
  shown_list = nullptr;
  DestroyWindow(parent);
  return 0;
}
