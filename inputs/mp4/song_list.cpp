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
  const track_ptr track = file.played_track();
  if (!track || track->time_scale == 0) return std::nullopt;
  // A delay past the track's end would leave nothing to play: the record
  // is impossible and ignored, as other players do.
  if (track->media_duration != duration_not_given && delay >= track->media_duration) return std::nullopt;
  std::uint64_t end = delay + valid;
  // Nor can the valid samples run past it: a damaged count would give a
  // length of ages.
  if (track->media_duration != duration_not_given && end > track->media_duration) end = track->media_duration;
  // A track whose time scale is half its sample rate is HE-AAC counted at
  // the core rate: its decoder delays the output by a further 481 samples.
  if (track->kind == kind_aac && std::uint64_t(track->time_scale) * 2 <= track->sample_rate) {
    delay += 481;
    end += 481;
  }
  return time_range{to_100ns(delay, track->time_scale), to_100ns(end, track->time_scale)};
}

// A duration in movie units as media units, rounded to nearest.
std::uint64_t movie_to_media_time(std::uint64_t duration, std::uint32_t media_scale, std::uint32_t movie_scale) {
  if (duration <= ~std::uint64_t(0) / media_scale - movie_scale)
    return (duration * media_scale + movie_scale / 2) / movie_scale;
  const double scaled = double(duration) * media_scale / movie_scale + 0.5;
  return scaled < 18446744073709551615.0 ? static_cast<std::uint64_t>(scaled) : ~std::uint64_t(0);
}

// The media range the track's first edit shows: the encoder's priming is
// left out before it and its padding after it.
std::optional<time_range> edit_range(const mp4_track& track, std::uint32_t movie_time_scale) {
  if (!track.edit || movie_time_scale == 0) return std::nullopt;
  const std::uint64_t start = track.edit->media_time;
  std::uint64_t end = track.media_duration;
  if (track.edit->duration != 0) {
    const std::uint64_t length = movie_to_media_time(track.edit->duration, track.time_scale, movie_time_scale);
    // The edit's length is only as fine as the movie's time scale (often
    // milliseconds): one that ends within a movie tick of the media's end
    // means that end, which is exact to the sample.
    const std::uint64_t tick = (std::uint64_t(track.time_scale) + movie_time_scale - 1) / movie_time_scale;
    if (start <= end && length < end - start && end - start - length >= tick) end = start + length;
  }
  if (end == duration_not_given || start >= end) return std::nullopt;
  return time_range{start, end};
}

// The range the played track shows: its edit list, else its composition
// offset and length. Another track's (a second audio track, a chapter text
// track) would give the wrong start and length.
time_range track_range(const mp4_file& file) {
  time_range range{0, 0};
  bool has_range = false;
  const track_ptr track = file.played_track();
  if (track && track->time_scale != 0) {
    if (const std::optional<time_range> edited = edit_range(*track, file.movie_time_scale)) {
      has_range = true;
      range = {to_100ns(edited->start, track->time_scale), to_100ns(edited->end, track->time_scale)};
    } else {
      has_range = track->media_duration != duration_not_given;
      range = {to_100ns(start_delay(*track), track->time_scale),
               has_range ? to_100ns(track->media_duration, track->time_scale) : 0};
    }
  }
  bool has_video = false;
  for (const auto& other : file.tracks)
    if (is_video_kind(other->kind)) has_video = true;
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
  const std::uint64_t latest = ~std::uint64_t(0) >> 1;
  const std::uint64_t origin = range.start < latest ? range.start : latest;
  file.presentation_start = static_cast<std::int64_t>(origin);

  if (file.chapters.empty() || (gapless && file.chapters.size() == 1)) {
    file.songs.push_back({file.file_metadata, static_cast<std::int64_t>(origin)});
    return;
  }
  const bool numbered = file.chapters.size() >= 2;
  for (std::size_t i = 0; i < file.chapters.size(); ++i) {
    const chapter& source = file.chapters[i];
    // Chapter times count from the start of the presentation, which in the
    // media lies after the encoder's priming.
    const std::uint64_t start = source.start < latest - origin ? origin + source.start : latest;
    song entry{file.file_metadata, static_cast<std::int64_t>(start)};
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
