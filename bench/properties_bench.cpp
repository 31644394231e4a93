// The tag editor's model at 10,000 tracks: building the rows from the
// tracks' infos, running the update filter over every track, and a copy and
// paste of 10 whole fields; each beside a plain copy of the same infos in the
// same run. Building and filtering must stay well under a second.
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_properties.exe
#include "bench/bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "metadata/track_handle_registry.h"
#include "properties/edited_rows.h"
#include "properties/field_clipboard.h"

namespace {

using bench::now_seconds;

constexpr std::uint32_t track_count = 10000;

template <class Work>
double best_ms(int runs, Work work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const double start = now_seconds();
    work();
    best = std::min(best, (now_seconds() - start) * 1000.0);
  }
  return best;
}

struct memory_infos : track_info_source {
  std::vector<track_info_impl> infos;
  const track_info* find_info(std::uint32_t track, const track_handle_ptr&) override { return &infos[track]; }
};

void add(track_info_impl& info, const char* name, const std::string& value) {
  info.append_field(name, track_info::until_nul, value.data(), value.size());
}

}  // namespace

int main() {
  memory_infos source;
  track_handle_list tracks;
  for (std::uint32_t i = 0; i < track_count; ++i) {
    const std::string album = "Album " + std::to_string(i / 12);
    tracks.push_back(track_handle_registry::get_handle(
        track_location(("C:\\Music\\" + album + "\\" + std::to_string(i % 12) + ".flac").c_str(), 0)));
    track_info_impl info;
    add(info, "ARTIST", "Artist " + std::to_string(i / 120));
    add(info, "TITLE", "Title " + std::to_string(i));
    add(info, "ALBUM", album);
    add(info, "DATE", "1999");
    add(info, "GENRE", "Rock");
    add(info, "TRACKNUMBER", std::to_string(i % 12 + 1));
    add(info, "COMMENT", "A comment of some length that many files carry");
    add(info, "MUSICBRAINZ_TRACKID", "c2b8c1a8-5d2f-4f6e-9a1b-" + std::to_string(100000000 + i));
    add(info, "REPLAYGAIN_TRACK_GAIN", "-7.1 dB");
    add(info, "ENCODER", "reference libFLAC");
    source.infos.push_back(info);
  }

  std::vector<track_info_impl> copies;
  const double peer = best_ms(5, [&] { copies = source.infos; });

  const field_display_context context("COMMENT", "ARTIST;GENRE");
  edited_rows rows;
  const double build = best_ms(5, [&] { rows.build(context, source, tracks); });

  // The user fixes the artist's spelling in every track: every track changes.
  rows.set_row_text(0, "The Artist");
  std::uint32_t changed = 0;
  const double filter = best_ms(5, [&] {
    const auto update = rows.make_update_filter();
    changed = 0;
    for (std::uint32_t i = 0; i < track_count; ++i) {
      track_info_impl info(source.infos[i]);
      changed += update->update(tracks[i], {}, info) ? 1 : 0;
    }
  });

  edited_field_list copied(rows.rows().begin(), rows.rows().begin() + 10);
  std::size_t block_size = 0;
  const double copy_paste = best_ms(5, [&] {
    const std::string block = serialize_fields(copied);
    block_size = block.size();
    edited_field_list pasted;
    parse_fields(block.data(), block.size(), pasted);
    rows.paste_fields(pasted);
  });

  std::printf("copy of %u infos (peer): %.1f ms\n", track_count, peer);
  std::printf("build rows: %.1f ms (%.2fx the peer)\n", build, build / peer);
  std::printf("update filter over every track, %u changed: %.1f ms (%.2fx the peer)\n", changed, filter,
              filter / peer);
  std::printf("copy and paste of 10 fields, %zu bytes: %.1f ms (%.2fx the peer)\n", block_size, copy_paste,
              copy_paste / peer);
  return changed == track_count && build + filter < 1000.0 ? 0 : 1;
}
