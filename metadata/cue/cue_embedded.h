// A FLAC or WavPack file whose field "cuesheet" holds a cue sheet shows as
// one subsong per cue track (subsong 0 stays the whole file). The map keeps
// each subsong's info and indexes, and translates between
// the file's own tags and the per-subsong info in both directions.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "metadata/cue/cue_track_list.h"
#include "metadata/track_info.h"

class decoder_message_sink;

// Where the file keeps its sheet. Text (a FLAC comment, a WavPack item) is
// edited line by line. A FLAC CUESHEET block holds only the tracks' times and
// ISRCs: the text the reading makes of it is shown, never written back, and
// the tracks' values go into the file's tags.
enum class cue_sheet_storage { text, block };

struct cue_subsong {
  track_info_impl info;
  cue_parser::index_times indexes{};
  // Set when an edit changed the info; `shown` then holds what the subsong
  // showed before, and the write changes what differs from it.
  bool edited = false;
  track_info_impl shown;
};

// A field, or a ReplayGain value under its tag name, that an edit changed,
// with its new values (none when removed).
struct cue_field_change {
  std::string name;
  std::vector<std::string> values;
  bool replaygain = false;
};

class cue_track_map {
public:
  std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(subsongs_.size()); }
  // The n-th entry in ascending subsong order, subsong 0 included; null past the end.
  const std::pair<const std::uint32_t, cue_subsong>* find_nth(std::uint32_t n) const;
  cue_subsong* find(std::uint32_t subsong);
  const cue_subsong* find(std::uint32_t subsong) const;
  cue_subsong& find_or_add(std::uint32_t subsong) { return subsongs_[subsong]; }
  void clear() noexcept {
    subsongs_.clear();
    file_changes.clear();
  }
  auto begin() noexcept { return subsongs_.begin(); }
  auto end() noexcept { return subsongs_.end(); }
  auto begin() const noexcept { return subsongs_.begin(); }
  auto end() const noexcept { return subsongs_.end(); }

  cue_sheet_storage storage = cue_sheet_storage::text;
  // The changes an edit of the file as a whole made; the cue tracks took
  // them, and the write stores each as one made alike on every track.
  std::vector<cue_field_change> file_changes;

private:
  std::map<std::uint32_t, cue_subsong> subsongs_;
};

namespace cue_embedded {

// Rebuilds the map from the file's info. A sheet that cannot be used (bad
// syntax, a bad time, a track that would end before it starts, as when the
// sheet belongs to a longer file) leaves the file as one subsong that keeps
// the sheet's text; the sink, when given, hears why.
void read_track_info(cue_track_map& map, const track_info& file_info, decoder_message_sink* sink = nullptr,
                     cue_sheet_storage storage = cue_sheet_storage::text);

// Stores an edit of one subsong: its fields and ReplayGain; technical entries
// and length stay. An absent subsong is exception_io_data.
void apply_track_info(cue_track_map& map, std::uint32_t subsong, const track_info& info);

// Stores an edit of the file as a whole (subsong 0), as it was shown. A
// change of the sheet or of an override field is the file's own and the
// tracks are read again from it; any other change every cue track takes,
// as when made alike on each of them.
void apply_file_info(cue_track_map& map, const track_info& info, decoder_message_sink* sink = nullptr);

// The file's info to write as its tags. Until a cue track is edited the
// file's tags, the sheet's text among them, come back unchanged. An edit
// changes only the values it changed: a change made alike on every cue track
// becomes the file's tag, one made on some tracks goes into their lines of
// the sheet; where neither reads back as the track showed it, the track's
// override field carries it (the file's tag, when every track needs it
// alike). A removal from every track takes the field's tag, header line and
// every track's own line, hidden ones too, so that no track reads it after.
// Every other tag and sheet line stays as it was.
// A sheet kept in a block is not edited: an edit that the tags cannot make
// read back (a value only the block gives, removed) is
// exception_cue_value_not_stored, and nothing is to be written.
void write_track_info(const cue_track_map& map, track_info& out);

// Subsong 0 shows the file's own tags and, where it has none of a value the
// sheet can give the whole disc (a header line's field, the artist or album
// artist of the header PERFORMER, the album gain and peak), the value every
// cue track reads alike, or where they differ the header's value that some
// of them read: an edit of the file reaches it there.
void track_info_from_cue(const cue_track_map& map, std::uint32_t subsong, track_info& out);

struct track_range {
  double start;
  double length;
};
track_range get_track_range(const cue_track_map& map, std::uint32_t subsong);

// The track number of the n-th cue track (subsong 0 skipped); 0 past the end
// or when the file has no cue tracks.
std::uint32_t subsong_at(const cue_track_map& map, std::uint32_t n);

// "cue_track" + two digits + "_" + name: the field that overrides one track's value.
std::string make_track_field_name(const char* name, std::uint32_t track_number);

}  // namespace cue_embedded
