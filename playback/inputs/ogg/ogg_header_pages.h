// The pages of one Ogg stream's header packets when its comment is
// rewritten. A page carries a checksum of its own bytes, so a reader takes
// a page that a killed write left half old, half new for lost: a change goes
// in place only as one write within one page of the file, and so only into
// pages that keep their places, sizes and lacing.
//
// Pages made anew are laid out for the next edit: the comment packet's large
// entries first, then the text entries and the room behind them on a last
// page of their own that lies within one page of the file, so that a later
// text edit changes that page alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/file_object.h"

struct ogg_header_packet {
  std::vector<std::uint8_t> bytes;
  std::int64_t granulepos = 0;
  bool end_of_stream = false;
  // The packet ends its page; the next one starts a page of its own.
  bool flush_after = false;
};

// The old header pages `pages` (whole pages, as they stand) with their
// bodies taken from `packets` in order: each page keeps its header but for
// its checksum. False, with `pages` unspecified, when the packets' bytes do
// not fill the old bodies exactly; the caller gives packets of the old sizes.
bool ogg_refill_header_pages(std::vector<std::uint8_t>& pages, const std::vector<ogg_header_packet>& packets);

struct ogg_comment_layout {
  std::size_t comment = 0;     // the index of the comment packet
  std::size_t text_start = 0;  // where its text entries begin in it
  std::size_t least_room = 0;  // the least room the text page keeps
  std::size_t usual_room = 0;  // the room when no page of the file can hold the text page
};

// Pages the packets for a stream whose first page lands at file offset
// `offset`: each packet that asks for it ends its page, pages hold at most
// 255 segments, and the comment packet ends its page, its bytes from
// `text_start` on with zeros of room behind them (appended to the packet
// here) on a last page that lies within one page of the file where the
// packet's earlier pages can be cut to bring it there. Appends the pages to
// `out` and answers their count.
std::uint32_t ogg_lay_out_header_pages(std::vector<ogg_header_packet>& packets, const ogg_comment_layout& layout,
                                       std::uint64_t offset, int serial, std::int64_t first_sequence,
                                       vantrel_io::writer& out, const abort_signal& abort);
