// Title formatting: evaluations per second on one thread for a plain field, a
// typical list-column script and a heavy one, and the sort of 100,000 track
// handles by a script on every processor for three kinds of titles. A plain string copy of the same
// result text, measured in the same run, is the peer.
#include "bench/bench_clock.h"

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/cpu_count.h"
#include "foundation/string_small.h"
#include "metadata/title/title_script.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_sort_keys.h"

namespace {

using bench::now_seconds;
using namespace field_name_set;

enum class title_set { latin, cyrillic_cjk, with_kana };

const char* set_name(title_set set) {
  switch (set) {
    case title_set::latin: return "Latin";
    case title_set::cyrillic_cjk: return "Cyrillic/CJK without kana";
    default: return "with kana";
  }
}

// Titles of 2 to 5 words that share long prefixes, so compares run deep.
std::string title_text(title_set set, int index) {
  static const char* const cyrillic_cjk[] = {"Песня", "ПЕСНЯ", "Звезда", "любовь", "音楽", "東京夜", "사랑", "Live"};
  static const char* const kana[] = {"Песня", "さくら", "サクラ", "東京の夜", "音楽", "ロック", "사랑", "Live"};
  if (set == title_set::latin) return "Song number " + std::to_string(index % 977);
  const char* const* words = set == title_set::with_kana ? kana : cyrillic_cjk;
  std::uint32_t bits = static_cast<std::uint32_t>(index) * 2654435761u;
  std::string text;
  for (int w = 2 + static_cast<int>(bits % 4); w > 0; --w) {
    bits = bits * 1103515245u + 12345u;
    text += words[(bits >> 16) % 8];
    text += ' ';
  }
  return text + std::to_string(index % 100);
}

track_handle_ptr make_track(int index, title_set set = title_set::latin) {
  const std::string path = "unclaimed://bench/" + std::to_string(index) + ".flac";
  const track_handle_ptr handle = track_handle_registry::get_handle(track_location(path.c_str(), 0));
  track_display_info record;
  record.set(title, title_text(set, index).c_str());
  record.set(artist, ("Artist " + std::to_string(index % 131)).c_str());
  record.set(album_artist, ("Artist " + std::to_string(index % 131)).c_str());
  record.set(album, ("Album " + std::to_string(index % 1009)).c_str());
  record.set(track_number, std::to_string(1 + index % 17).c_str());
  handle->set_info(record, 0, 0, true);
  return handle;
}

void evaluations_per_second(const char* label, const char* script_text, const track_handle_ptr& track) {
  const qiv::ref_ptr<title_script> script = title_script::compile(script_text);
  qiv::string_small out;
  const int rounds = 200000;
  const double start = now_seconds();
  for (int i = 0; i < rounds; ++i) track->evaluate_script_locked(nullptr, out, *script);
  const double elapsed = now_seconds() - start;

  const std::string result = out.get_ptr();
  qiv::string_small copy;
  const double copy_start = now_seconds();
  for (int i = 0; i < rounds; ++i) copy.set_string(result.c_str());
  const double copy_elapsed = now_seconds() - copy_start;
  std::printf("%-52s %10.0f evaluations/s  (copying the result alone: %.0f/s, ratio %.1f)\n", label,
              rounds / elapsed, rounds / copy_elapsed, elapsed / copy_elapsed);
}

// The sort of 100,000 handles on every processor, its two steps apart: the
// texts and keys, then the ordering. The peer is the system's natural
// compare alone in a stable sort over the same texts.
void sort_tracks(title_set set) {
  const int count = 100000;
  track_handle_list handles;
  handles.reserve(count);
  for (int i = 0; i < count; ++i) handles.push_back(make_track(i, set));
  const qiv::ref_ptr<title_script> script = title_script::compile("%album artist% %album% %tracknumber% %title%");
  std::vector<std::uint32_t> order(handles.size());
  qiv::text_sort_timing timing;
  sort_tracks_by_script(order, handles, *script, nullptr, &timing);
  std::printf("sort of %d handles, %s, %u processors: keys %.0f ms + ordering %.0f ms = %.0f ms (budget 400 ms)\n",
              count, set_name(set), qiv::cpu_count(), timing.key_seconds * 1000, timing.order_seconds * 1000,
              (timing.key_seconds + timing.order_seconds) * 1000);
}

}  // namespace

int main() {
  const track_handle_ptr track = make_track(7);
  evaluations_per_second("%title%", "%title%", track);
  evaluations_per_second("album line",
                         "[%album artist% - ]%album%[ CD%discnumber%] - [%tracknumber%. ]%title%", track);
  evaluations_per_second("[%album artist% - ]%album% - $num(%tracknumber%,2) %title%",
                         "[%album artist% - ]%album% - $num(%tracknumber%,2) %title%", track);
  evaluations_per_second("heavy script (nested optional blocks)",
                         "[[%album artist%] - [%album% ]][(%tracknumber%) ][%title%][ / %artist%][ - %genre%][ %date%]",
                         track);

  for (const title_set set : {title_set::latin, title_set::cyrillic_cjk, title_set::with_kana}) sort_tracks(set);
  return 0;
}
