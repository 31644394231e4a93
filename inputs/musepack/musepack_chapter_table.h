// The chapters of a version 8 Musepack stream, read from its "CT" packets
// here and checked before anything uses them: the decoding library trusts
// every packet size it meets, and one damaged size sends it astray.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/tags/apev2.h"

namespace musepack {

struct chapter_packet {
  std::uint64_t position = 0;
  std::vector<std::uint8_t> bytes;  // the whole packet as the file holds it
  std::uint64_t start_sample = 0;
  std::uint16_t gain = 0;  // as the packet stores them; 0: none
  std::uint16_t peak = 0;
  std::size_t start_length = 0;  // bytes of the start number
  std::size_t tag_offset = 0;    // where the chapter's tag begins in `bytes`

  const std::uint8_t* tag() const { return bytes.data() + tag_offset; }
  std::size_t tag_size() const { return bytes.size() - tag_offset; }
  // The chapter's tag items; false when it has a tag that cannot be read.
  bool read_items(apev2::item_list& items) const;
};

struct chapter_table {
  std::vector<chapter_packet> chapters;
  // A packet could not be read or made no sense: chapters are missing.
  bool damaged = false;
};

// The chapters in stream order, from the packets after the stream header at
// `header_position` up to the stream end. A chapter packet too short for its
// fields, or one starting no later than the one before it or at or after
// `stream_samples`, is left out; a size that breaks the packet run ends the
// search. Either marks the table damaged. A stream without its end packet
// was cut: a packet reaching past `tags_start`, where the trailing tags
// begin, was cut there and claims the bytes of a tag written after the cut,
// so the search ends before it (a chapter packet so cut is damaged).
chapter_table read_chapter_table(vantrel_io::file_object& file, std::uint64_t header_position,
                                 std::uint64_t tags_start, std::uint64_t stream_samples, const abort_signal& abort);

// The payload of a "CT" packet: the start number as `chapter` stores it,
// then `gain`, `peak` and the tag of `items` (none when there are none and
// the chapter had none); without `items`, the chapter's tag bytes as they are.
std::vector<std::uint8_t> chapter_payload(const chapter_packet& chapter, std::uint16_t gain, std::uint16_t peak,
                                          const apev2::item_list* items);

}  // namespace musepack
