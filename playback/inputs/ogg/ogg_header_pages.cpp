#include "playback/inputs/ogg/ogg_header_pages.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>

#include "io/in_place_overwrite.h"

namespace {

constexpr std::size_t page_header_size = 27;
constexpr std::size_t most_segments = 255;
constexpr std::uint8_t flag_continued = 0x01;
constexpr std::uint8_t flag_first = 0x02;
constexpr std::uint8_t flag_last = 0x04;
// Pages added before the text page to bring it into one page of the file
// (27 bytes each): a page of the file takes fewer than this many.
constexpr std::size_t most_extra_pages = 160;

std::size_t segments_of(std::size_t packet_size) { return packet_size / 255 + 1; }

void set_checksum(std::uint8_t* header, std::size_t header_size, std::uint8_t* body, std::size_t body_size) {
  ogg_page page{header, long(header_size), body, long(body_size)};
  ogg_page_checksum_set(&page);
}

// The segments of every packet in order, each a lacing value and the packet
// it belongs to.
struct segment {
  std::uint8_t lacing;
  std::size_t packet;
  bool ends_packet;
};

std::vector<segment> lacing_of(const std::vector<ogg_header_packet>& packets) {
  std::vector<segment> segments;
  for (std::size_t p = 0; p < packets.size(); ++p) {
    const std::size_t size = packets[p].bytes.size();
    for (std::size_t n = 0; n < size / 255; ++n) segments.push_back({255, p, false});
    segments.push_back({std::uint8_t(size % 255), p, true});
  }
  return segments;
}

// Writes the pages whose segment counts `plan` gives, over every packet.
void write_pages(const std::vector<ogg_header_packet>& packets, const std::vector<std::size_t>& plan, int serial,
                 std::int64_t first_sequence, vantrel_io::writer& out, const abort_signal& abort) {
  const std::vector<segment> segments = lacing_of(packets);
  std::size_t next = 0;
  std::size_t packet_offset = 0;  // into the packet of segments[next]
  for (std::size_t page = 0; page < plan.size(); ++page) {
    std::vector<std::uint8_t> header(page_header_size + plan[page]);
    std::vector<std::uint8_t> body;
    std::uint8_t flags = page == 0 ? flag_first : 0;
    if (packet_offset != 0) flags |= flag_continued;
    std::int64_t granulepos = -1;
    for (std::size_t s = 0; s < plan[page]; ++s, ++next) {
      const segment& seg = segments[next];
      const std::vector<std::uint8_t>& bytes = packets[seg.packet].bytes;
      header[page_header_size + s] = seg.lacing;
      body.insert(body.end(), bytes.begin() + std::ptrdiff_t(packet_offset),
                  bytes.begin() + std::ptrdiff_t(packet_offset + seg.lacing));
      packet_offset += seg.lacing;
      if (!seg.ends_packet) continue;
      packet_offset = 0;
      granulepos = packets[seg.packet].granulepos;
      if (packets[seg.packet].end_of_stream) flags |= flag_last;
    }
    std::memcpy(header.data(), "OggS", 4);
    header[5] = flags;
    const std::int64_t sequence = first_sequence + std::int64_t(page);
    for (int i = 0; i < 8; ++i) header[6 + i] = std::uint8_t(std::uint64_t(granulepos) >> (8 * i));
    for (int i = 0; i < 4; ++i) header[14 + i] = std::uint8_t(std::uint32_t(serial) >> (8 * i));
    for (int i = 0; i < 4; ++i) header[18 + i] = std::uint8_t(std::uint64_t(sequence) >> (8 * i));
    header[26] = std::uint8_t(plan[page]);
    set_checksum(header.data(), header.size(), body.data(), body.size());
    out.write(header.data(), std::uint32_t(header.size()), abort);
    if (!body.empty()) out.write(body.data(), std::uint32_t(body.size()), abort);
  }
}

// Pages of at most 255 segments over packets [first, last), cut after each
// packet that asks for it and after the last.
void plan_plain(const std::vector<ogg_header_packet>& packets, std::size_t first, std::size_t last,
                std::vector<std::size_t>& plan) {
  std::size_t open = 0;
  for (std::size_t p = first; p < last; ++p) {
    std::size_t left = segments_of(packets[p].bytes.size());
    while (left > 0) {
      const std::size_t take = std::min(left, most_segments - open);
      open += take;
      left -= take;
      if (open == most_segments) {
        plan.push_back(open);
        open = 0;
      }
    }
    if ((packets[p].flush_after || p + 1 == last) && open > 0) {
      plan.push_back(open);
      open = 0;
    }
  }
}

std::uint64_t bytes_of_plan(const std::vector<ogg_header_packet>& packets, std::size_t first, std::size_t last,
                            std::size_t pages) {
  std::uint64_t bytes = page_header_size * pages;
  for (std::size_t p = first; p < last; ++p)
    bytes += packets[p].bytes.size() + segments_of(packets[p].bytes.size());
  return bytes;
}

// The most body bytes a packet's last page may hold within `room` bytes
// after its fixed header: the body and its lacing values.
std::size_t body_within(std::size_t room) {
  if (room < 1) return 0;
  std::size_t body = (room - 1) * 255 / 256;
  while (body + 1 + segments_of(body + 1) <= room) ++body;
  while (body > 0 && body + segments_of(body) > room) --body;
  return body;
}

}  // namespace

bool ogg_refill_header_pages(std::vector<std::uint8_t>& pages, const std::vector<ogg_header_packet>& packets) {
  std::vector<std::uint8_t> bodies;
  for (const ogg_header_packet& packet : packets) bodies.insert(bodies.end(), packet.bytes.begin(), packet.bytes.end());
  std::size_t at = 0;
  std::size_t taken = 0;
  while (at < pages.size()) {
    if (pages.size() - at < page_header_size || std::memcmp(pages.data() + at, "OggS", 4) != 0) return false;
    const std::size_t header_size = page_header_size + pages[at + 26];
    if (pages.size() - at < header_size) return false;
    std::size_t body_size = 0;
    for (std::size_t s = page_header_size; s < header_size; ++s) body_size += pages[at + s];
    if (pages.size() - at - header_size < body_size || bodies.size() - taken < body_size) return false;
    std::uint8_t* body = pages.data() + at + header_size;
    if (body_size) std::memcpy(body, bodies.data() + taken, body_size);
    set_checksum(pages.data() + at, header_size, body, body_size);
    taken += body_size;
    at += header_size + body_size;
  }
  return taken == bodies.size();
}

std::uint32_t ogg_lay_out_header_pages(std::vector<ogg_header_packet>& packets, const ogg_comment_layout& layout,
                                       std::uint64_t offset, int serial, std::int64_t first_sequence,
                                       vantrel_io::writer& out, const abort_signal& abort) {
  std::vector<std::uint8_t>& comment = packets[layout.comment].bytes;
  const std::size_t text_start = std::min(layout.text_start, comment.size());
  std::vector<std::size_t> plan;
  plan_plain(packets, 0, layout.comment, plan);
  const std::uint64_t comment_offset = offset + bytes_of_plan(packets, 0, layout.comment, plan.size());

  // The comment's segments before its last page all hold large entries; the
  // last page starts at the last segment boundary before the text. Each page
  // more among the earlier ones moves the text page 27 bytes on, until the
  // text page with the least room fits within one page of the file.
  const std::size_t before = text_start / 255;
  const std::size_t fewest_pages = (before + most_segments - 1) / most_segments;
  const std::size_t fixed = comment.size() - before * 255;  // the last page's bytes before its room
  std::size_t pages = fewest_pages;
  std::size_t room = layout.usual_room;
  for (std::size_t more = 0; more <= most_extra_pages && fewest_pages + more <= before; ++more) {
    const std::uint64_t start = comment_offset + page_header_size * (fewest_pages + more) + 256 * before;
    const std::uint64_t page_end = (start / vantrel_io::atomic_write_page + 1) * vantrel_io::atomic_write_page;
    if (page_end - start <= page_header_size) continue;
    const std::size_t body = body_within(std::size_t(page_end - start - page_header_size));
    if (body >= fixed + layout.least_room) {
      pages = fewest_pages + more;
      room = body - fixed;
      break;
    }
  }
  for (std::size_t page = 0; page < pages; ++page) plan.push_back(before / pages + (page < before % pages ? 1 : 0));
  comment.resize(comment.size() + room, 0);
  // Text beyond what one page holds goes on as many as it takes.
  std::size_t last = segments_of(comment.size()) - before;
  for (; last > most_segments; last -= most_segments) plan.push_back(most_segments);
  plan.push_back(last);
  plan_plain(packets, layout.comment + 1, packets.size(), plan);
  write_pages(packets, plan, serial, first_sequence, out, abort);
  return std::uint32_t(plan.size());
}
