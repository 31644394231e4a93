// Finding the tags at the end of a file: one APEv2 tag and any number of
// ID3v1 tags, in any order, and a Lyrics3v2 block right before the ID3v1
// block that ends the file. A damaged tag of either kind only ends the
// search there, so that writing and removing can replace it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/id3v1.h"

class tag_changes;
class track_info;

struct trailing_tags {
  std::uint64_t start = 0;  // where the trailing tags begin
  bool has_apev2 = false;
  unsigned apev2_version = 0;
  bool apev2_has_header = false;
  apev2::item_list apev2_items;
  // False when a malformed item hid the items after it.
  bool apev2_items_complete = true;
  std::vector<id3v1_block> id3v1_blocks;  // nearest the end first
  // The first this many blocks stand behind the APEv2 tag; with none, all.
  std::size_t id3v1_blocks_behind_apev2 = 0;
  // The first block ends the file: the one place other readers look.
  bool id3v1_at_end = false;
  // Right before the block that ends the file (and behind the APEv2 tag),
  // with its contents when they were asked for; kept as it stands.
  bool has_lyrics3v2 = false;
  std::vector<std::uint8_t> lyrics3v2;
  // An APEv2 footer whose tag could not be read ended the search: where the
  // tag begins is unknown, so no write may replace or keep it.
  bool damaged_apev2 = false;
  // Another APEv2 tag ends where these tags begin. Readers show only the
  // last one; replacing or removing that would show the other's old values,
  // or a tag some readers cannot read, so no write may replace them.
  bool stacked_apev2 = false;
};

// exception_io_no_length for a file without a known size.
trailing_tags find_trailing_tags(vantrel_io::file_object& file, bool read_contents, const abort_signal& abort);

// The fields, ReplayGain and "tagtype" of tags found with their contents:
// the APEv2 tag's, with each field it lacks from an ID3v1 block behind it
// at the end; else the ID3v1 block's that ends the file (the last of
// several, as every reader takes it). None found: exception_tag_not_found.
void trailing_tags_to_info(const trailing_tags& found, track_info& info);

// Whether a written APEv2 tag has a header. MP3 readers skip a tag behind
// the audio only where it starts with its header, and decode a tag without
// one as a damaged frame: there every tag gets one. Elsewhere a tag keeps
// the header it had, or none, and one written with the whole file has none
// (its start then stays put when its size changes).
enum class apev2_header { as_found, always };

// The bytes that replace the trailing tags `found` for the tag_service
// kinds asked for (write_apev2, write_id3v1; 0 removes them). A tag of a
// kind already there gets only `changes` (from the info as read to `info`),
// keeping the rest of what it holds and its items' order (and its header
// as `header` says); a new one is made from `info` whole. ID3v1 blocks no
// reader shows (older ones, and any before the APEv2 tag) and a Lyrics3v2
// block stay as they stand while an ID3v1 block ends the file; a new APEv2
// tag goes right before the lyrics and that block. An APEv2 tag ends
// with its items, then its footer, nothing between them: other taggers add
// their items right behind ours. `for_rewrite`, when given, receives the
// same tags laid out for a write of the whole file
// (apev2::render_tag_for_later_edits); nothing when no APEv2 tag is written
// or when that layout is the one returned.
// A damaged APEv2 tag, one whose malformed item hid the items after it, or
// one with a second APEv2 tag before it, cannot be replaced without losing
// what it holds or showing what it hides: exception_io_data.
// With `emptied` removed, a tag the edit leaves with nothing in it is left
// out; an empty APEv2 tag stays while an ID3v1 tag with fields stays beside
// it, since readers would show that one instead.
enum class emptied_tags { written, removed };
std::vector<std::uint8_t> render_trailing_tags(trailing_tags& found, const track_info& info,
                                               const tag_changes& changes, unsigned kinds,
                                               emptied_tags emptied = emptied_tags::written,
                                               std::vector<std::uint8_t>* for_rewrite = nullptr,
                                               apev2_header header = apev2_header::as_found);

// Replaces the trailing tags of `file` with those of `info`, for a format
// whose reading shows the trailing tags alone (the info as read); nothing
// when no value changes. Written as tag_region_update does: what cannot
// change in place in one write goes through `rewrite`'s temporary file (the
// caller commits it), else is refused. `known`, when given, holds the tags
// find_trailing_tags(file, true) found, which the write then takes.
void write_trailing_tags(vantrel_io::file_ptr& file, retag_temp_source& rewrite, const track_info& info,
                         unsigned kinds, const abort_signal& abort, trailing_tags* known = nullptr);
