// The library views over 100,000 tracks held in memory: building the genres,
// artists and albums roots (budget: under 300 ms each once the library is
// loaded), and collecting every track for playback from the albums root.
#include "bench/bench_clock.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "foundation/main_thread.h"
#include "library/library_view_node.h"
#include "metadata/track_handle_registry.h"

namespace {

constexpr std::uint32_t track_count = 100000;

class memory_library final : public library_view_tracks {
public:
  track_handle_list tracks;
  void get_all(track_handle_list& out) override { out = tracks; }
  void register_callback(library_change_callback*) override {}
  void unregister_callback(library_change_callback*) override {}
  bool is_scanning() override { return false; }
};

void fill(memory_library& library) {
  library.tracks.reserve(track_count);
  for (std::uint32_t i = 0; i < track_count; ++i) {
    const std::uint32_t album = i / 10, artist = album % 2000;
    const std::string path = "file://C:\\Music\\Artist " + std::to_string(artist) + "\\Album " + std::to_string(album) +
                             "\\" + std::to_string(i % 10) + ".flac";
    track_handle_ptr handle = track_handle_registry::get_handle(track_location(path.c_str(), 0));
    track_display_info info;
    info.set(field_name_set::title, ("Song " + std::to_string(i)).c_str());
    info.set(field_name_set::artist, ("Artist " + std::to_string(artist)).c_str());
    info.set(field_name_set::genre, ("Genre " + std::to_string(album % 300) + "; Rock").c_str());
    info.set(field_name_set::album, ("Album " + std::to_string(album)).c_str());
    info.set(field_name_set::track_number, std::to_string(i % 10 + 1).c_str());
    info.set(field_name_set::date, std::to_string(1960 + album % 60).c_str());
    handle->set_info(info, 1, 0, true);
    library.tracks.push_back(std::move(handle));
  }
}

}  // namespace

int main() {
  qiv::set_main_thread_id(GetCurrentThreadId());
  memory_library library;
  fill(library);
  const struct {
    const char* name;
    nav_path path;
  } roots[] = {{"genres", {}}, {"artists", {{}}}, {"albums", {{}, {}}}};
  for (const auto& root : roots) {
    const double start = bench::now_seconds();
    library_view_node view(nullptr, root.path, library);
    const double built = bench::now_seconds() - start;
    std::printf("%-8s root: %6.0f ms for %zu entries (budget 300 ms)\n", root.name, built * 1000,
                view.entries().size());
    if (root.path.size() == 2) {
      const double collect_start = bench::now_seconds();
      track_handle_list all;
      view.get_all_tracks(all);
      std::printf("albums   play all: %6.0f ms for %zu tracks\n", (bench::now_seconds() - collect_start) * 1000,
                  all.size());
    }
  }
  return 0;
}
