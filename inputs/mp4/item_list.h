// The tags of an MP4 file's item list ("ilst" in the user-data "meta" box):
// the fields it maps and its front cover, and its items kept byte for byte
// (those it maps beside their fields, those it does not map alone) so that a
// retag does not lose what another tagger wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/tag_fields.h"

namespace tarnex {

struct cover_picture {
  std::string kind = "front cover";  // "front cover", "back cover" or "booklet"
  std::uint32_t index = 0;           // within its kind
  std::string bytes;
};

// An item the reader did not map: its key and payload as stored, and its
// place among the list's items. A freeform item of the iTunes vendor (one
// without a value the reader takes) also keeps its name: an edit that
// writes an item of that name replaces it.
struct raw_item {
  std::uint32_t key = 0;
  std::string payload;
  std::size_t place = 0;
  std::string freeform_name;
};

// An item that the reader mapped to fields, as stored, with the fields it
// gave. Other programs store what the fields' text cannot carry: several
// data children in one item, data types and binary data of their own, dates
// with a time. While every field an item gave keeps the values read, the
// item is written back as it was.
struct item_as_read {
  std::uint32_t key = 0;
  std::string payload;
  tag_fields gave;
  std::size_t place = 0;  // among the list's items
};

// A "covr" item as stored. Taggers store several pictures as several "data"
// children of one item, or as several items; the reader shows one of them.
struct cover_item {
  std::string payload;
  std::size_t place = 0;     // among the list's items
  std::size_t pictures = 0;  // the "data" children read as pictures
  // The last of those children, header included: the picture the item
  // gives. Both are the payload's size when there is none.
  std::size_t shown_start = 0, shown_end = 0;
};

struct ilst_metadata {
  tag_fields fields;
  std::vector<item_as_read> items_as_read;  // in file order
  std::optional<cover_picture> front_cover;
  std::vector<raw_item> raw_items;  // in file order
  // Every "covr" item, in file order; the front cover is the picture the
  // last of them gives. An edit writes each back as it was, but for that
  // picture when the edit changes or removes it.
  std::vector<cover_item> cover_items;
  std::string front_cover_as_read;
  std::size_t items_read = 0;  // the places given out so far
  // Read from several lists holding different items of one kind that one
  // list cannot keep (see item_list_merge.h): no edit may write it.
  bool unmergeable = false;
};

// Where, in the buffer the "meta" payload was appended to, lie the bytes a
// text edit changes: the room before the item list (or the list itself when
// there is none) up to the end of its text items, which lead the bulky ones.
// A text edit then moves the list's start within that room and leaves the
// bulky items and every box size around the list as they were.
struct text_item_span {
  std::size_t start = 0;  // the room before the list, else the list's header
  std::size_t end = 0;    // the end of the text items
};

// Where the "free" box that holds the room for later edits lies in "meta":
// just before the item list, or just after it (where other taggers leave
// theirs). Nothing but items goes inside the list: some taggers stop
// reading the file at any other box there.
enum class room_place { before_list, after_list };

// Appends the payload of a "meta" box (without its own header) holding the
// item list of `metadata` to `out`.
void write_meta_box(const ilst_metadata& metadata, byte_buffer& out);
// The same with other fields and front cover (or none) than `as_read` holds,
// its items kept where those fields still give what they gave, and a "free"
// box of `room` bytes (0: none, else at least a box header) at `place`.
text_item_span write_meta_box(const ilst_metadata& as_read, const tag_fields& fields, const cover_picture* front_cover,
                              byte_buffer& out, std::uint32_t room = 0, room_place place = room_place::before_list);

}  // namespace tarnex
