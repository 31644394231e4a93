// Finding the tags at the end of a file: one APEv2 tag and any number of
// ID3v1 tags, in any order. A damaged tag of either kind only ends the
// search there, so that writing and removing can replace it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/id3v1.h"

struct trailing_tags {
  std::uint64_t start = 0;  // where the trailing tags begin
  bool has_apev2 = false;
  unsigned apev2_version = 0;
  apev2::item_list apev2_items;
  // False when a malformed item hid the items after it.
  bool apev2_items_complete = true;
  std::vector<id3v1_block> id3v1_blocks;  // nearest the end first
};

// exception_io_no_length for a file without a known size.
trailing_tags find_trailing_tags(vantrel_io::file_object& file, bool read_contents, const abort_signal& abort);
