// The tags of files whose format carries ID3 or APE tags (MP3, WavPack,
// Musepack ...): the leading ID3v2 tag and the trailing ID3v1 and APEv2
// tags read and written as one, with "tagtype" naming the kinds found
// ("id3v2.3|apev2|id3v1").
#pragma once

#include <optional>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_region_update.h"
#include "metadata/tags/trailing_tags.h"

class track_info;

namespace tag_services {

// The kinds a write puts into the file.
inline constexpr unsigned kind_id3v1 = 1;
inline constexpr unsigned kind_id3v2 = 2;
inline constexpr unsigned kind_apev2 = 4;
// Beside the kinds: a tag the edit leaves with nothing in it (a leading tag
// without a frame, the trailing tags render_trailing_tags leaves out) is
// removed rather than written empty.
inline constexpr unsigned emptied_tags_removed = 8;
// Beside the kinds: every APEv2 tag written has its header, as MP3 readers
// need (apev2_header::always); without it a tag keeps what it had.
inline constexpr unsigned apev2_header_always = 16;

// Which tags a format's reading takes its fields from.
enum class reading {
  leading_then_trailing,  // read below
  trailing_only,          // the trailing tags alone (trailing_tags_to_info)
};

// The ID3v2 tag's fields with each field it lacks from the trailing tags,
// else the trailing tags'; ReplayGain values missing from the first come
// from the second. A damaged ID3v2 tag counts as none.
// No tag at all: exception_tag_not_found. A writer that passes `leading`
// gets the leading tags as it will write over them (empty when they are
// damaged), so that its write need not read them again; `trailing` likewise
// the trailing tags with their contents (empty when their search failed).
void read(vantrel_io::file_object& file, track_info& out, const abort_signal& abort,
          std::optional<id3v2_leading_tags>* leading = nullptr, std::optional<trailing_tags>* trailing = nullptr);

// Replaces the file's tags by the kinds asked for; a kind not asked for is
// removed. A tag of a kind already there gets only what changed between the
// info as the format's reading gives it (read's, or `shown` of
// prepare_write) and `info`, and keeps every other value it holds, also
// those the reading did not show; a tag of a new kind is made from `info`
// whole; an edit that changes no value writes nothing, whatever the kinds.
// Written as tag_region_update does: what cannot change in place in steps
// a kill cannot split goes into what `rewrite` hands out (the caller commits
// it), else is refused with exception_no_safe_rewrite.
// Trailing tags that would begin before `audio_start` (the first audio
// frame, as far as the caller knows it) or inside the leading tags are
// damage: exception_io_data, and the file stays as it was. A damaged leading
// tag is not written over: id3parser::parseError.
// `leading` and `trailing`, when given, are what read handed out, with the
// file unchanged since (held without sharing); the write uses them up.
void write(vantrel_io::file_ptr& file, retag_temp_source& rewrite, unsigned kinds, const track_info& info,
           const abort_signal& abort, std::uint64_t audio_start = 0, id3v2_leading_tags* leading = nullptr,
           trailing_tags* trailing = nullptr);

// The checks and the new tag bytes of write, with nothing written yet: a
// caller that changes other bytes of the file in place (without moving any)
// does so only once the tag write is known to go through, then applies the
// result with apply_tag_region_update.
tag_region_update prepare_write(vantrel_io::file_object& file, unsigned kinds, const track_info& info,
                                const abort_signal& abort, std::uint64_t audio_start = 0,
                                id3v2_leading_tags* leading = nullptr, trailing_tags* trailing = nullptr,
                                reading shown = reading::leading_then_trailing);

// A file holding only the tags a file holds once `update` is applied to it:
// read gives from it what it would give from that file, without going back
// to the file for it.
vantrel_io::file_ptr tags_after_update(const tag_region_update& update);

void remove_trailing(vantrel_io::file_object& file, const abort_signal& abort);
void read_trailing(vantrel_io::file_object& file, track_info& out, const abort_signal& abort);

}  // namespace tag_services
