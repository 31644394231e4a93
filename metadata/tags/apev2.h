// APE tags (version 1000, APEv1, and 2000, APEv2): the 32-byte header and
// footer, the item list, and the mapping between items and track fields,
// with "Track" and "Disc" as "n/m" pairs and the ReplayGain items. Written
// tags are always APEv2 with a footer; a tag written with the whole file is
// laid out for later edits (render_tag_for_later_edits).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

class tag_changes;
class track_info;

namespace apev2 {

inline constexpr unsigned version_1 = 1000;
inline constexpr unsigned version_2 = 2000;

struct item {
  bool read_only = false;
  unsigned type = 0;  // 0 UTF-8 text, 1 binary, 2 external locator
  std::string key;
  std::string value;  // text values hold several values separated by zero bytes
};
using item_list = std::vector<item>;
using byte_vector = std::vector<std::uint8_t>;

// The tag whose footer ends at `end`: exception_tag_not_found when there is
// none, exception_io_data when it is damaged (a size its items do not fill
// is damage too, unless a header gives the same size and count and the
// rest is runs of zeros before, between or behind the items). Moves `end`
// to the tag's first byte (its header included) and fills `items` when
// given. False when a malformed item cut the item list short: readers may
// show what is there, but a writer must not replace the tag with it.
// `has_header`, when given, says whether a header stands before the items.
bool read_tag_at_end(vantrel_io::file_object& file, item_list* items, unsigned& version, std::uint64_t& end,
                     const abort_signal& abort, bool* has_header = nullptr);
// The size an APEv2 footer in the last 32 of the `size` bytes at `bytes`
// gives its tag (items and footer, no header), or 0 where no footer stands
// there. Nothing is checked beyond the footer's mark.
std::uint32_t tag_size_in_footer(const std::uint8_t* bytes, std::size_t size);
// At most `count` items, into `items` when given; a malformed item ends the
// list quietly, and the answer is then false. `used` receives the bytes the
// items took.
bool parse_items(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count, item_list* items,
                 std::size_t* used = nullptr);
// The item at `pos` of the `size` bytes at `area` into `out` when given:
// the offset behind it, or 0 when no whole item starts there.
std::size_t parse_item(const std::uint8_t* area, std::size_t size, std::size_t pos, unsigned version, item* out);
// Keys other readers accept: 2 to 255 printable ASCII characters, none of
// the words that mark other tag formats.
bool is_storable_key(const std::string& key);
// The header-only form inside other containers: the 24 header bytes after
// "APETAGEX", then the items.
void parse_tag_body(item_list& items, const std::uint8_t* data, std::size_t size);

// A whole tag: header, items and, when asked, a footer.
byte_vector render_tag(const item_list& items, bool with_footer);
// The items, then a footer whose flags say no header stands before them.
byte_vector render_tag_without_header(const item_list& items);
// The tag as a write of the whole file lays it out: large items (pictures,
// long texts) first, the other text items last, then the footer. Without a
// header, a later edit of a text item changes only the tag's last bytes and
// its footer, at the end of the file, and nothing at its start; with one
// (where readers need it), an edit that keeps the tag's size still changes
// only the text items.
byte_vector render_tag_for_later_edits(const item_list& items, bool with_header = false);
// Whether the items already stand in that order.
bool laid_out_for_later_edits(const item_list& items);
// The header-only form without its "APETAGEX" preamble.
byte_vector render_tag_bytes(const item_list& items);
// Writes the tag at the file's position and cuts the file behind it.
void write_tag(vantrel_io::file_object& file, const item_list& items, const abort_signal& abort, bool with_footer);

// Replaces the fields of `info` and sets "tagtype"; text items are fields,
// read-only ones too.
void read_into_track_info(const item_list& items, unsigned version, track_info& info);
// Replaces the text items by the fields of `info`; binary items stay unless
// a new item takes their key.
void write_from_track_info(item_list& items, const track_info& info);
// Replaces only the items that stand for what `changes` touches, whatever
// their type and flags, by what `info` (the tag's own fields with the
// changes made) holds for them, where the first of them stood; every other
// item stays as it was.
void write_changes(item_list& items, const track_info& info, const tag_changes& changes);

}  // namespace apev2
