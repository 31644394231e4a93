#include "metadata/cue/cue_sheet_writer.h"

#include <optional>

#include "foundation/number_format.h"
#include "metadata/cue/cue_lines.h"
#include "metadata/replaygain_text.h"

namespace cue_parser {
namespace {

// All values joined with ", "; none when the field is absent.
std::optional<std::string> joined_field_values(const track_info& info, const char* name) {
  const std::uint32_t field = info.find_field(name);
  if (field == track_info::not_found) return std::nullopt;
  std::string text;
  for (std::uint32_t v = 0; v < info.field_value_count(field); ++v) {
    if (v) text += ", ";
    text += info.field_value(field, v);
  }
  return text;
}

bool is_common(const cue_track_list& tracks, const char* name) {
  const std::optional<std::string> first = joined_field_values(tracks[0].info, name);
  if (!first) return false;
  for (const auto& entry : tracks) {
    if (joined_field_values(entry->info, name) != first) return false;
  }
  return true;
}

class sheet_lines {
public:
  explicit sheet_lines(std::string& out) : out_(out) {}
  void add(const std::string& line) { out_ += line + "\r\n"; }

private:
  std::string& out_;
};

std::string two_digits(std::uint32_t number) {
  char buffer[qiv::decimal_buffer_size];
  return qiv::format_uint(buffer, number, 2);
}

}  // namespace

void write_cuesheet(std::string& out, const cue_track_list& tracks) {
  if (tracks.size() == 0) return;
  sheet_lines lines(out);
  const track_info& first = tracks[0].info;
  auto header = [&](const char* name, const char* prefix, bool quote) {
    if (!is_common(tracks, name)) return;
    const std::string value = *joined_field_values(first, name);
    lines.add(prefix + (quote ? quote_value(value) : escape_value(value)));
  };
  header("genre", "REM GENRE ", false);
  header("date", "REM DATE ", false);
  header("discid", "REM DISCID ", false);
  header("comment", "REM COMMENT ", false);
  header("catalog", "CATALOG ", false);
  header("songwriter", "SONGWRITER ", true);
  const bool album_artist_common = is_common(tracks, "album artist");
  const bool artist_common = !album_artist_common && is_common(tracks, "artist");
  if (album_artist_common) header("album artist", "PERFORMER ", true);
  else if (artist_common) header("artist", "PERFORMER ", true);
  header("album", "TITLE ", true);

  std::string text;
  const replaygain_info album_replaygain = first.get_replaygain();
  if (replaygain_format_gain(text, album_replaygain.album_gain)) lines.add("REM REPLAYGAIN_ALBUM_GAIN " + text);
  if (replaygain_format_peak(text, album_replaygain.album_peak)) lines.add("REM REPLAYGAIN_ALBUM_PEAK " + text);

  const bool songwriter_common = is_common(tracks, "songwriter");
  const bool date_common = is_common(tracks, "date");
  std::string last_file;
  for (const auto& entry : tracks) {
    const track_info& info = entry->info;
    if (entry->file_name != last_file) {
      lines.add("FILE " + quote_value(entry->file_name) + " WAVE");
      last_file = entry->file_name;
    }
    lines.add("  TRACK " + two_digits(entry->number) + " AUDIO");
    if (auto title = joined_field_values(info, "title")) lines.add("    TITLE " + quote_value(*title));
    if (auto artist = joined_field_values(info, "artist"); artist && !artist_common) {
      lines.add("    PERFORMER " + quote_value(*artist));
    }
    if (auto writer = joined_field_values(info, "songwriter"); writer && !songwriter_common) {
      lines.add("    SONGWRITER " + quote_value(*writer));
    }
    if (auto isrc = joined_field_values(info, "isrc")) lines.add("    ISRC " + escape_value(*isrc));
    if (auto date = joined_field_values(info, "date"); date && !date_common) lines.add("    REM DATE " + escape_value(*date));
    const replaygain_info replaygain = info.get_replaygain();
    if (replaygain_format_gain(text, replaygain.track_gain)) lines.add("    REM REPLAYGAIN_TRACK_GAIN " + text);
    if (replaygain_format_peak(text, replaygain.track_peak)) lines.add("    REM REPLAYGAIN_TRACK_PEAK " + text);
    if (!entry->flags.empty()) lines.add("    FLAGS " + entry->flags);
    const index_times& indexes = entry->indexes;
    if (indexes[1] > indexes[0]) {
      if (indexes[0] >= 0) lines.add("    INDEX 00 " + format_time(indexes[0]));
      else lines.add("    PREGAP " + format_time(indexes[1] - indexes[0]));
    }
    lines.add("    INDEX 01 " + format_time(indexes[1]));
    for (std::uint32_t n = 2; n < 100 && indexes[n] > 0; ++n) {
      lines.add("    INDEX " + two_digits(n) + " " + format_time(indexes[n]));
    }
  }
}

}  // namespace cue_parser
