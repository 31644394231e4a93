#include "metadata/cue/cue_sheet_reader.h"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/bit_array.h"
#include "foundation/byte_compare.h"
#include "foundation/number_format.h"
#include "metadata/cue/cue_lines.h"

namespace cue_parser {

exception_bad_cuesheet::exception_bad_cuesheet(const char* reason)
    : exception_io_data([&] {
        vantrel_io::io_message message("exception_bad_cuesheet", "Error parsing cuesheet: {reason}");
        message.fill_placeholder("reason", reason);
        return message;
      }()) {}

namespace {

bool equals_nocase(const char* text, std::size_t length, const char* word) {
  return qiv::stricmp_ascii_n(text, length, word, std::strlen(word)) == 0;
}

constexpr double frames_per_second = 75.0;

// What both passes record of the indexes of the track being read.
struct index_state {
  index_times times{};
  bool index00_seen = false;
  bool index01_seen = false;
  double pregap = 0.0;

  void on_pregap(std::uint32_t frames) { pregap = frames / frames_per_second; }
  void on_index(std::uint32_t number, std::uint32_t frames) {
    if (number == 0) index00_seen = true;
    if (number == 1) index01_seen = true;
    times[number] = frames / frames_per_second;
  }
  // Without an INDEX 00 the gap before INDEX 01 comes from PREGAP.
  void complete() {
    if (!index01_seen) fail("INDEX 01 not set");
    if (!index00_seen) times[0] = times[1] - pregap;
  }
};

class track_collector final : public cue_handler {
public:
  explicit track_collector(cue_track_list& out) : out_(out) {}

  void on_file(const char* name, std::size_t name_length, const char* type, std::size_t type_length) override {
    static const char* const known_types[] = {"WAVE", "MP3", "AIFF", "APE", "FLAC", "WV", "WAVPACK"};
    bool known = false;
    for (const char* known_type : known_types) known = known || equals_nocase(type, type_length, known_type);
    if (!known) {
      fail(("expected WAVE, MP3 or AIFF, got : \"" + std::string(type, type_length) + "\"").c_str());
    }
    file_.assign(name, name_length);
  }
  void on_track(std::uint32_t number, const char* type, std::size_t type_length) override {
    if (!equals_nocase(type, type_length, "audio")) fail("only tracks of type AUDIO supported");
    finish();
    if (file_.empty()) fail("declaring a track with no file set");
    pending_file_ = file_;
    pending_number_ = number;
  }
  void on_pregap(std::uint32_t frames) override { indexes_.on_pregap(frames); }
  void on_index(std::uint32_t number, std::uint32_t frames) override { indexes_.on_index(number, frames); }
  void on_flags(const char* text, std::size_t length) override { flags_.assign(text, length); }
  void on_title(const char*, std::size_t) override {}
  void on_performer(const char*, std::size_t) override {}
  void on_songwriter(const char*, std::size_t) override {}
  void on_isrc(const char*, std::size_t) override {}
  void on_catalog(const char*, std::size_t) override {}
  void on_rem(const char*, std::size_t) override {}

  void finish() {
    if (pending_number_ == 0) return;
    indexes_.complete();
    if (!index_list_valid(indexes_.times)) fail("invalid index list");
    cue_track_entry& entry = out_.append_new();
    entry.number = pending_number_;
    entry.file_name = pending_file_;
    entry.flags = std::move(flags_);
    entry.indexes = indexes_.times;
    indexes_ = index_state{};
    flags_.clear();
    pending_number_ = 0;
  }

private:
  cue_track_list& out_;
  std::string file_;
  std::string pending_file_;
  std::uint32_t pending_number_ = 0;
  std::string flags_;
  index_state indexes_;
};

struct meta_entry {
  std::string name;
  std::string value;
};
using meta_list = std::vector<meta_entry>;

const meta_entry* find_last(const meta_list& list, const char* name) {
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (qiv::stricmp_ascii_equal(it->name.c_str(), name)) return &*it;
  }
  return nullptr;
}

void remove_all(meta_list& list, const char* name) {
  std::erase_if(list, [&](const meta_entry& e) { return qiv::stricmp_ascii_equal(e.name.c_str(), name); });
}

// The metadata of every track, gathered in one pass over the sheet: a pass
// per track would cost the square of a sheet of thousands of tracks. What a
// track reads depends on its number alone (the sheet's lines, then those of
// every section of that number), so tracks of one number read alike.
class track_info_collector final : public cue_handler {
public:
  track_info_collector() : sections_(100) {}

  void on_file(const char*, std::size_t, const char*, std::size_t) override {}
  void on_flags(const char*, std::size_t) override {}
  void on_track(std::uint32_t number, const char*, std::size_t) override {
    ++track_count_;
    last_number_ = number;
  }
  void on_pregap(std::uint32_t frames) override {
    if (last_number_ != 0) sections_[last_number_].indexes.on_pregap(frames);
  }
  void on_index(std::uint32_t number, std::uint32_t frames) override {
    if (last_number_ != 0) sections_[last_number_].indexes.on_index(number, frames);
  }
  void on_title(const char* text, std::size_t length) override { on_meta("title", {text, length}); }
  void on_performer(const char* text, std::size_t length) override { on_meta("artist", {text, length}); }
  void on_songwriter(const char* text, std::size_t length) override { on_meta("songwriter", {text, length}); }
  void on_isrc(const char* text, std::size_t length) override { on_meta("isrc", {text, length}); }
  void on_catalog(const char* text, std::size_t length) override { on_meta("catalog", {text, length}); }
  void on_rem(const char* text, std::size_t length) override;

  // Fills the track's info; one read before with the same number gives it.
  void finish(cue_track_entry& track);

private:
  // The lines of every section with one track number.
  struct section {
    meta_list meta;
    index_state indexes;
    const cue_track_entry* read = nullptr;  // the first new track filled from it
  };

  void on_meta(std::string_view name, std::string_view value);

  std::uint32_t last_number_ = 0;
  std::uint32_t track_count_ = 0;
  meta_list album_;
  std::vector<section> sections_;  // by track number, 1 to 99
  std::string album_performer_;
  bool performer_differs_ = false;
};

void track_info_collector::on_rem(const char* text, std::size_t length) {
  static const char* const taken_keys[] = {"genre",
                                           "date",
                                           "discid",
                                           "comment",
                                           "replaygain_track_gain",
                                           "replaygain_track_peak",
                                           "replaygain_album_gain",
                                           "replaygain_album_peak"};
  const char* end = text + length;
  const char* p = text;
  while (p < end && *p != ' ' && *p != '\t') ++p;
  const std::string_view key(text, std::size_t(p - text));
  bool taken = false;
  for (const char* k : taken_keys) taken = taken || equals_nocase(key.data(), key.size(), k);
  if (!taken) return;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p == end) return;
  std::string_view value(p, std::size_t(end - p));
  if (*p == '"') {
    const void* quote = std::memchr(p + 1, '"', std::size_t(end - p - 1));
    if (!quote) fail("invalid REM syntax");
    value = {p + 1, std::size_t(static_cast<const char*>(quote) - p - 1)};
    if (value.empty()) return;
  }
  on_meta(key, value);
}

void track_info_collector::on_meta(std::string_view name, std::string_view value) {
  if (track_count_ == 0) {
    if (equals_nocase(name.data(), name.size(), "title")) name = "album";
    if (equals_nocase(name.data(), name.size(), "artist")) album_performer_.assign(value);
    album_.push_back({std::string(name), std::string(value)});
    return;
  }
  if (equals_nocase(name.data(), name.size(), "artist") && !album_performer_.empty() && !performer_differs_ &&
      qiv::stricmp_ascii_n(value.data(), value.size(), album_performer_.data(), album_performer_.size()) != 0) {
    performer_differs_ = true;
  }
  sections_[last_number_].meta.push_back({std::string(name), std::string(value)});
}

void track_info_collector::finish(cue_track_entry& track) {
  section& own = sections_[track.number];
  track_info& info = track.info;
  const bool fresh = info.field_count() == 0 && info.tech_count() == 0;
  if (own.read && fresh) {
    info.copy_all_from(own.read->info);
    return;
  }
  own.indexes.complete();
  index_fields_to_info(info, own.indexes.times);
  replaygain_info replaygain;
  meta_list album = album_;
  meta_list track_meta = own.meta;
  if (performer_differs_) {
    const meta_entry* album_artist = find_last(album, "artist");
    const meta_entry* track_artist = find_last(track_meta, "artist");
    if (album_artist) info.set_field("album artist", track_info::until_nul, album_artist->value.data(),
                                     album_artist->value.size());
    if (const meta_entry* artist = track_artist ? track_artist : album_artist) {
      info.set_field("artist", track_info::until_nul, artist->value.data(), artist->value.size());
    }
    remove_all(album, "artist");
    remove_all(track_meta, "artist");
  }
  for (const meta_list* list : {&album, &track_meta}) {
    for (const meta_entry& entry : *list) {
      if (replaygain.set_from_field(entry.name.c_str(), entry.value.data(), entry.value.size())) continue;
      info.set_field(entry.name.data(), entry.name.size(), entry.value.data(), entry.value.size());
    }
  }
  char buffer[qiv::decimal_buffer_size];
  auto set_number = [&](const char* name, std::uint32_t value) {
    info.set_field(name, track_info::until_nul, qiv::format_uint(buffer, value, 1), track_info::until_nul);
  };
  set_number("tracknumber", track.number);
  set_number("totaltracks", track_count_);
  info.set_replaygain(replaygain);
  if (fresh && !own.read) own.read = &track;
}

}  // namespace

void parse_cuesheet(const char* text, cue_track_list& out) {
  try {
    track_collector tracks(out);
    parse_lines(text, tracks);
    tracks.finish();
    if (out.size() == 0) return;
    track_info_collector collector;
    parse_lines(text, collector);
    for (const auto& entry : out) collector.finish(*entry);
  } catch (const exception_cue& e) {
    throw exception_bad_cuesheet(e.what());
  }
}

bool index_list_valid(const index_times& indexes) {
  if (!(indexes[0] <= indexes[1])) return false;
  for (std::size_t n = 2; n < indexes.size() && indexes[n] > 0; ++n) {
    if (indexes[n] < indexes[n - 1]) return false;
  }
  return true;
}

void index_fields_to_info(track_info& info, const index_times& indexes) {
  auto set = [&](const char* name, double seconds) {
    const std::string text = format_time(seconds);
    info.set_tech(name, track_info::until_nul, text.data(), text.size());
  };
  auto remove = [&](const char* name) {
    const std::uint32_t found = info.find_tech(name);
    if (found == track_info::not_found) return;
    qiv::bit_array selection(info.tech_count());
    selection.set(found, true);
    info.remove_techs(selection);
  };
  if (indexes[1] > 0) set("referenced_offset", indexes[1]);
  if (indexes[1] > indexes[0]) set("pregap", indexes[1] - indexes[0]);
  else remove("pregap");
  remove("index 00");
  remove("index 01");
  for (unsigned n = 2; n < 100; ++n) {
    char name[16] = "index ";
    char buffer[qiv::decimal_buffer_size];
    std::strcat(name, qiv::format_uint(buffer, n, 2));
    if (indexes[n] - indexes[1] > 0) set(name, indexes[n] - indexes[1]);
    else remove(name);
  }
}

}  // namespace cue_parser
