#include "inputs/mp4/song_list.h"

#include <optional>

#include "inputs/mp4/media_time.h"
#include "inputs/mp4/track_parameters.h"

namespace tarnex {

namespace {

struct time_range {
  std::uint64_t start;
  std::uint64_t end;
};

// The hexadecimal fields of a gapless record, separated by blanks.
std::vector<std::uint64_t> hex_fields(const std::string& text) {
  std::vector<std::uint64_t> fields;
  bool in_field = false;
  for (char c : text) {
    if (c == ' ') {
      in_field = false;
      continue;
    }
    if (!in_field) fields.push_back(0);
    in_field = true;
    unsigned digit = 0;  // anything that is not a hex digit counts as 0
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    fields.back() = fields.back() * 16 + digit;
  }
  return fields;
}

// The range the encoder's gapless record gives: its delay (field 1) and
// its count of valid samples (field 3).
std::optional<time_range> gapless_record_range(const mp4_file& file) {
  if (!file.metadata_present) return std::nullopt;
  const tag_fields::entry* item = file.item_list.fields.find("ITUNSMPB");
  if (item == nullptr || item->values.empty()) return std::nullopt;
  const std::vector<std::uint64_t> fields = hex_fields(item->values.front());
  if (fields.size() < 4) return std::nullopt;
  std::uint64_t delay = fields[1];
  const std::uint64_t valid = fields[3];
  if (valid == 0 || delay + valid < delay) return std::nullopt;
  for (const auto& track : file.tracks) {
    if (!is_audio_kind(track->kind) || track->time_scale == 0) continue;
    std::uint64_t end = delay + valid;
    // A track whose time scale is half its sample rate is HE-AAC counted at
    // the core rate: its decoder delays the output by a further 481 samples.
    if (track->kind == kind_aac && std::uint64_t(track->time_scale) * 2 <= track->sample_rate) {
      delay += 481;
      end += 481;
    }
    return time_range{to_100ns(delay, track->time_scale), to_100ns(end, track->time_scale)};
  }
  return std::nullopt;
}

time_range track_range(const mp4_file& file) {
  time_range range{0, 0};
  bool has_video = false, has_range = false;
  for (const auto& track : file.tracks) {
    if (is_video_kind(track->kind)) has_video = true;
    if (!is_audio_kind(track->kind) || track->time_scale == 0) continue;
    has_range = track->media_duration != duration_not_given;
    range = {to_100ns(start_delay(*track), track->time_scale),
             has_range ? to_100ns(track->media_duration, track->time_scale) : 0};
  }
  if (has_video || !has_range || range.start >= range.end)
    range = {0, to_100ns(file.movie_duration, file.movie_time_scale)};
  return range;
}

}  // namespace

void build_song_list(mp4_file& file) {
  const bool song_blocks = file.tags_present && !file.tags.segments.empty();
  if (file.tags_present && !file.tags.fields.empty())
    file.file_metadata = file.tags.fields;
  else if (file.metadata_present && !file.item_list.fields.empty())
    file.file_metadata = file.item_list.fields;
  if (!file.songs.empty()) return;

  const std::optional<time_range> gapless = gapless_record_range(file);
  const time_range range = gapless ? *gapless : track_range(file);
  file.end_time = static_cast<std::int64_t>(range.end);

  if (file.chapters.empty() || (gapless && file.chapters.size() == 1)) {
    file.songs.push_back({file.file_metadata, static_cast<std::int64_t>(range.start)});
    return;
  }
  const bool numbered = file.chapters.size() >= 2;
  for (std::size_t i = 0; i < file.chapters.size(); ++i) {
    const chapter& source = file.chapters[i];
    const std::uint64_t latest = ~std::uint64_t(0) >> 1;
    song entry{file.file_metadata, static_cast<std::int64_t>(source.start < latest ? source.start : latest)};
    // A book's own title names the whole file; each of its chapters goes by
    // the chapter's name. A lone chapter is the file and keeps its title.
    if (!source.name.empty() && (numbered || entry.metadata.find("title") == nullptr)) {
      entry.metadata.remove("title");
      entry.metadata.add("title", source.name);
    }
    if (song_blocks) {
      for (const tags_segment& block : file.tags.segments)
        if (block.chapter == i)
          for (const auto& [name, value] : block.fields.entries()) entry.metadata.set(name, value);
    } else if (numbered && entry.metadata.find("track") == nullptr) {
      entry.metadata.add("track", std::to_string(i + 1));
    }
    file.songs.push_back(std::move(entry));
  }
}

}  // namespace tarnex
