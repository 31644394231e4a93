// The tags of an MP4 file's item list ("ilst" in the user-data "meta" box):
// the fields it maps, its front cover, and the items it does not map, kept
// byte for byte so that a retag does not lose what another tagger wrote.
#pragma once

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

// An item the reader did not map: its key and payload as stored.
struct raw_item {
  std::uint32_t key = 0;
  std::string payload;
};

// The freeform items ("----") one field was read from, whole and in file
// order, with the values they gave it. Other programs store binary data and
// types of their own there, which the field's text cannot carry: while the
// field keeps those values, the items are written back as they were.
struct freeform_items_as_read {
  std::vector<std::string> values;
  byte_buffer items;
};

struct ilst_metadata {
  tag_fields fields;
  std::map<std::string, freeform_items_as_read, ascii_nocase_less> freeform_items;  // by field name
  std::optional<cover_picture> front_cover;
  std::vector<raw_item> raw_items;  // in file order
  // The "covr" item as read, which may hold several pictures of which only
  // the last is the front cover: written back whole while that cover stays.
  std::string cover_item_as_read;
  std::string front_cover_as_read;
};

// The payload of a "meta" box (without its own header) holding the item
// list of `metadata`.
void write_meta_box(const ilst_metadata& metadata, byte_buffer& out);

}  // namespace tarnex
