// Matroska tags as track info fields and back. Each Tag applies to the whole
// file or to the UIDs its Targets name; its SimpleTags become fields through
// a mapping of TagName and target level. Tags aimed at the track that plays
// count as the file's own (muxers put an Ogg file's comments there). A
// rewrite keeps every Tag it read, in file order, with its Targets and the
// SimpleTags it does not change byte for byte, and writes a changed value in
// the Tag and under the name it was found with: a value stays at the level
// it was read from, whether the Targets say that level or leave it unsaid
// (a level the Tags beside it gave is written out when the edit takes that
// away).
// A chapter reads the Tags aimed at it alone over those it shares with other
// chapters, the track and the whole file (all but the track's title: a
// chapter goes by its own TITLE or its name), and its edits go into the
// former; an edit every chapter makes alike goes wherever the old value
// stood, and one a chapter's Tag would not hold as what it is for other
// readers is refused (exception_chapter_value_misread).
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_records.h"
#include "metadata/track_info.h"

namespace Matroska {

// SimpleTags without a TagString (a TagBinary, or only nested SimpleTags)
// are kept under this name: never shown, always written back unchanged.
inline constexpr const char* matroska_reserved_field = "{E795F63E-6219-4848-A38C-E69BA4094667}";

inline constexpr std::uint64_t matroska_level_track = 30;
inline constexpr std::uint64_t matroska_level_album = 50;
// The level of an album's discs taken together; above it, a collection's.
inline constexpr std::uint64_t matroska_level_discs = 60;

// The field a TagName reads as at a target level; other TagNames unchanged.
// The TagNames the levels map read as the track's at its level and as the
// album's up to the discs' level, where TOTAL_PARTS is the count of discs;
// at other levels as the level's name and the TagName: "COLLECTION TITLE"
// (above the discs'), "EDITION TITLE" (the discs' set), "PART TITLE"
// (between the track's and the album's), "SUBTRACK TITLE" and "SHOT TITLE"
// (below the track's).
std::string matroska_field_from_tag_name(const std::string& tag_name, std::uint64_t level);
// The TagName and level a field is written with; a field outside the
// mapping keeps its name in upper case, at the track's level or, named as
// another level's, at that level.
void matroska_tag_name_from_field(const std::string& field, std::string& tag_name, std::uint64_t& level);

inline constexpr std::size_t matroska_no_tag = ~std::size_t{0};

struct matroska_tag_entry {
  std::string tag_name;
  std::string value;
  std::uint64_t level = matroska_level_album;
  // The SimpleTag this entry was read from or is written over; unset for a
  // SimpleTag new to the file.
  std::uint64_t source_position = matroska_unset;
  // The Tag it is written in (an index into the collection's tags), and its
  // place among that Tag's SimpleTags: the position of the SimpleTag it was
  // read from or replaces. A new value has no Tag yet.
  std::size_t tag = matroska_no_tag;
  std::uint64_t place = matroska_unset;
  // A value written over the SimpleTag at source_position: the TagString
  // changes, the rest of that SimpleTag stays.
  bool edited = false;
};

struct ascii_nocase_less {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct matroska_tag_group {
  std::map<std::string, std::vector<matroska_tag_entry>, ascii_nocase_less> fields;
  // The TargetType text read with each level, given to a new Tag at it.
  std::map<std::uint64_t, std::string> target_types;
};

// The UIDs one Tag's Targets name. No UID at all is the whole file.
struct matroska_tag_targets {
  std::set<std::uint64_t> chapters, editions, tracks, attachments;
  bool whole_file() const { return chapters.empty() && editions.empty() && tracks.empty() && attachments.empty(); }
  bool operator==(const matroska_tag_targets&) const = default;
  // Chapter groups first, then edition, track and attachment groups.
  bool operator<(const matroska_tag_targets& other) const;
};

// One Tag element as read, written back with the same Targets element.
struct matroska_tag_source {
  // The key of the group its SimpleTags are read into: no UID for the whole
  // file.
  matroska_tag_targets group;
  std::uint64_t level = matroska_level_album;
  bool level_written = false;  // its Targets hold a TargetTypeValue
  std::uint64_t targets_position = matroska_unset;  // none: it had no Targets
  // Its Targets name UIDs and say no level: the level is read from the Tags
  // aimed at the same UIDs beside it.
  bool level_from_neighbours = false;
};

struct matroska_tag_collection {
  // Every Tag read, in file order.
  std::vector<matroska_tag_source> tags;
  matroska_tag_group whole_file;
  std::map<matroska_tag_targets, matroska_tag_group> targeted;
  // Some Tags element could not be read whole; the Tags and Tag elements
  // read whole before the damage are kept.
  bool damaged = false;
};

enum class matroska_damaged_tags {
  skip,    // reading: what is damaged is left out and `damaged` says so
  refuse,  // writing: exception_io_data, since a write over it would lose it
};

// Every Tags element the scan knows that readers find (not those only a
// walk of the whole Segment finds, nor stale ones), in file order; a value
// an earlier element holds (same target, level, name, language and value)
// is read once. A Tags element is damaged when it does not read or when
// what follows it begins no element of the Segment (its size is wrong).
matroska_tag_collection matroska_tags_load(const matroska_file_scan& scan, ebml_reader& reader,
                                           matroska_damaged_tags on_damage);

// Fills one info from one group's fields (ReplayGain into its record).
void matroska_tags_to_info(const matroska_tag_group& group, track_info& info);

// Key 0 is the whole file, other keys chapter UIDs; fills every info of the
// map. `chapters` gives the name of each chapter of the file by its UID,
// shown as its title while its Tags give none. `track_uid` is the UID of the
// track that plays (0: none), and its `track_name` the whole file's title
// while no tag gives one (an empty TITLE says there is none). False when
// damaged Tags were left out.
bool matroska_tags_read_infos(const matroska_file_scan& scan, ebml_reader& reader,
                              std::map<std::uint64_t, track_info_impl>& infos,
                              const std::map<std::uint64_t, std::string>& chapters, std::uint64_t track_uid,
                              const std::string& track_name);

// The content of the new Tags element: the present tags with the edited
// infos applied. `chapters` are every chapter of the file, as above. A
// whole-file title that differs from what the track's name shows is written
// as a TITLE aimed at the track, an empty one when the title is removed; a
// chapter's edits go into the Tags aimed at that chapter alone.
// Damaged Tags are exception_io_data; a level-mapped value at another level
// than the chapter's, for some chapters only, exception_chapter_value_misread.
std::vector<std::uint8_t> matroska_tags_build(const matroska_file_scan& scan, ebml_reader& reader,
                                              const std::map<std::uint64_t, track_info_impl>& infos,
                                              const std::map<std::uint64_t, std::string>& chapters,
                                              std::uint64_t track_uid, const std::string& track_name);

}  // namespace Matroska
