#include "playback/inputs/ogg/ogg_comment_rewriter.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io/whole_file_rewrite.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/comment_block.h"
#include "metadata/tags/comment_entries.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "metadata/tags/tag_changes.h"
#include "playback/decoders/ogg_comment_fields.h"
#include "playback/inputs/ogg/ogg_album_art_file.h"
#include "playback/inputs/ogg/ogg_header_pages.h"
#include "playback/inputs/ogg/ogg_page_reader.h"

namespace {

class exception_audio_in_header_page : public vantrel_io::exception_io_data {
public:
  exception_audio_in_header_page()
      : exception_io_data(vantrel_io::io_message("exception_audio_in_header_page",
                                                 "Audio shares a page with the comment header; tags not written")) {}
};

// A FLAC stream in Ogg may carry a second comment block, which readers
// merge with the first; joining them would drop a header packet that the
// stream's first packet counts, so such a stream is left as it is.
class exception_second_comment_header : public vantrel_io::exception_io_data {
public:
  exception_second_comment_header()
      : exception_io_data(vantrel_io::io_message("exception_second_comment_header",
                                                 "The stream holds a second comment header; tags not written")) {}
};

constexpr std::uint32_t copy_chunk = 65536;
// The room behind the text of a comment laid out anew: at least this much
// where its page can be brought within one page of the file, else as much
// as a comment that grew gets.
constexpr std::size_t least_text_room = 512;
constexpr std::size_t usual_text_room = 2048;
constexpr std::uint32_t page_sequence_offset = 18;

// libogg's stream state, cleared when it goes out of scope.
struct stream_state {
  ogg_stream_state state{};
  explicit stream_state(int serial) { ogg_stream_init(&state, serial); }
  ~stream_state() { ogg_stream_clear(&state); }
  stream_state(const stream_state&) = delete;
  stream_state& operator=(const stream_state&) = delete;
};

void write_page(vantrel_io::writer& out, const ogg_page& page, const abort_signal& abort) {
  out.write(page.header, static_cast<std::uint32_t>(page.header_len), abort);
  out.write(page.body, static_cast<std::uint32_t>(page.body_len), abort);
}

// The header pages of one link as rebuilt, and where the old ones end.
struct new_headers {
  vantrel_io::memory_writer pages;
  std::uint32_t page_count = 0;
  std::uint64_t old_end = 0;
  // What the pages after the headers add to their sequence numbers.
  std::int64_t sequence_shift = 0;
};

// Whether the page's last packet goes on on the next page.
bool leaves_packet_open(const ogg_page& page) {
  const int segments = page.header[26];
  return segments > 0 && page.header[26 + segments] == 255;
}

class header_builder {
public:
  header_builder(int serial, std::int64_t first_sequence, new_headers& out) : out_(serial), result_(out) {
    out_.state.pageno = static_cast<long>(first_sequence);
  }

  void add(ogg_packet packet, bool flush, const abort_signal& abort) {
    ogg_stream_packetin(&out_.state, &packet);
    ogg_page page;
    while (ogg_stream_pageout(&out_.state, &page) > 0) take(page, abort);
    if (flush) finish(abort);
  }
  void finish(const abort_signal& abort) {
    ogg_page page;
    while (ogg_stream_flush(&out_.state, &page) > 0) take(page, abort);
  }

private:
  void take(const ogg_page& page, const abort_signal& abort) {
    write_page(result_.pages, page, abort);
    ++result_.page_count;
  }
  stream_state out_;
  new_headers& result_;
};

// One packet of the old header pages, as read.
struct old_packet {
  qiv::array<std::uint8_t> bytes;
  std::int64_t granulepos;
  bool end_of_stream;
  bool header;     // fed to the handler; the packets after share the last header page
  unsigned flags;  // the handler's answer
};

// The header pages of one link as they stand.
struct old_headers {
  int serial = 0;
  std::int64_t first_sequence = 0;
  // The sequence number the page after the old headers carries.
  std::int64_t following_sequence = 0;
  std::uint64_t end = 0;
  std::uint32_t page_count = 0;
  std::vector<old_packet> packets;
  std::size_t comment = ~std::size_t{0};
  service_ptr<ogg_comment_handler> handler;
};

old_headers read_headers(ogg_page_reader& reader, const ogg_comment_rewriter::link_range& link,
                         const abort_signal& abort) {
  old_headers old;
  const std::uint64_t end = link.start + link.length;
  reader.seek(link.start, abort);
  ogg_page page;
  std::uint64_t offset = 0;
  if (!reader.next_raw_page(page, offset, abort, end) || !ogg_page_bos(&page)) vantrel_io::throw_io_data();
  old.serial = ogg_page_serialno(&page);
  old.first_sequence = ogg_page_pageno(&page);
  stream_state in(old.serial);
  bool complete = false;
  for (;;) {
    ogg_stream_pagein(&in.state, &page);
    ++old.page_count;
    old.end = offset + static_cast<std::uint64_t>(page.header_len + page.body_len);
    const bool open = leaves_packet_open(page);
    old.following_sequence = ogg_page_pageno(&page) + 1;
    ogg_packet packet;
    int got;
    while ((got = ogg_stream_packetout(&in.state, &packet)) != 0) {
      if (got < 0) vantrel_io::throw_io_data();
      old_packet& kept = old.packets.emplace_back();
      kept.bytes.set_size(static_cast<std::uint32_t>(packet.bytes));
      if (packet.bytes) std::memcpy(kept.bytes.data(), packet.packet, static_cast<std::size_t>(packet.bytes));
      kept.granulepos = packet.granulepos;
      kept.end_of_stream = packet.e_o_s != 0;
      kept.header = !complete;
      kept.flags = 0;
      if (complete) {
        // Header packets after the comment (a Vorbis setup header) share
        // its page, whose granule position is 0. Audio sharing it would
        // have to be paged anew, and only the last packet ending on a page
        // has a known granule position: the others would lose theirs.
        if (ogg_page_granulepos(&page) != 0) throw exception_audio_in_header_page();
        continue;
      }
      if (old.packets.size() == 1) {
        ogg_codec::find_for_stream(old.handler, packet.packet, static_cast<std::uint32_t>(packet.bytes));
      }
      kept.flags = old.handler->feed_header(packet.packet, static_cast<std::uint32_t>(packet.bytes));
      if (kept.flags & ogg_comment_handler::is_comment_packet) {
        if (old.comment != ~std::size_t{0}) throw exception_second_comment_header();
        old.comment = old.packets.size() - 1;
      }
      complete = (kept.flags & ogg_comment_handler::headers_complete) != 0;
    }
    if (!reader.next_raw_page(page, offset, abort, end)) {
      if (!complete) vantrel_io::throw_io_data();
      break;
    }
    // The headers end with the page their last packet ends on. A packet
    // begun there and left open ends them only at a page that starts a
    // packet of its own and completes one. A page that goes on from a
    // page lost in between (damaged, stepped over by every reader) belongs
    // to the audio, which is copied as it stands.
    if (complete && (!open || (!ogg_page_continued(&page) && ogg_page_granulepos(&page) != -1))) break;
  }
  return old;
}

// The info a generic reading of the comment gives: for callers that did not
// say what their edit started from.
track_info_impl read_comment_fields(const comment_block_contents& contents) {
  track_info_impl info;
  ogg_comment_fields fields(info);
  for (const std::string& entry : contents.entries) fields.add(entry.data(), entry.size());
  fields.finish();
  return info;
}

// What one link's edit does to its comment packet.
class comment_rebuild {
public:
  comment_rebuild(const old_headers& old, const ogg_comment_rewriter::link_edit& edit) : old_(old), edit_(edit) {
    if (old.comment >= old.packets.size()) vantrel_io::throw_io_data();
    old.handler->comment_layout(prefix_, prefix_size_, framing_);
    const qiv::array<std::uint8_t>& packet = old.packets[old.comment].bytes;
    if (packet.get_count() < prefix_size_) vantrel_io::throw_io_data();
    contents_ = comment_block_parse(packet.data() + prefix_size_, packet.get_count() - prefix_size_);
    if (!edit.text_changed) return;
    // Only what differs from the file's own reading is written.
    const tag_changes changes =
        tag_changes::between(edit.as_read ? *edit.as_read : read_comment_fields(contents_), edit.info);
    comment_changes_ = changes.all();
    for (const replaygain_field& field : replaygain_fields) gains_changed_ = gains_changed_ || changes.touches(field.name);
  }

  bool changes_anything() const { return !comment_changes_.empty() || edit_.pictures_changed; }

  // The packet as it is to be written where the old one stands (`packet`
  // holds the old one): the entries in their places, padded towards the
  // old size.
  void rebuild(std::size_t index, qiv::array<std::uint8_t>& packet, const abort_signal& abort) {
    if (gains_changed_) old_.handler->prepare_header(std::uint32_t(index), packet, edit_.info, comment_changes_);
    if (index != old_.comment) return;
    comment_block_contents contents = contents_;
    contents.entries = comment_entries_after(contents.entries, comment_changes_, edit_.info);
    vantrel_io::memory_writer out;
    if (edit_.pictures_changed) {
      vantrel_io::memory_writer text;
      comment_block_write_contents(contents, nullptr, 0, false, text, abort);
      if (prefix_size_) out.write(prefix_, prefix_size_, abort);
      ogg_pictures::write_comment(text.get_ptr(), text.get_size(), edit_.pictures, out, abort);
      if (framing_) out.write("\1", 1, abort);
    } else {
      comment_block_write_contents(contents, prefix_, prefix_size_, framing_, out, abort);
    }
    unpadded_.assign(out.get_ptr(), out.get_ptr() + out.get_size());
    const std::uint32_t old_size = packet.get_count();
    packet.set_size(out.get_size());
    if (out.get_size()) std::memcpy(packet.data(), out.get_ptr(), out.get_size());
    comment_pad(packet, old_size);
    old_.handler->finish_comment(packet, out.get_size());
  }

  // The rebuilt comment packet for pages made anew, without room behind it:
  // the large entries first (comment_entries_lay_out_for_rewrite), and
  // `text_start` where the others begin. False when the codec keeps no room
  // behind its comment, so that its pages cannot be laid out for the next
  // edit.
  bool laid_out(std::vector<std::uint8_t>& packet, std::size_t& text_start, const abort_signal& abort) const {
    qiv::array<std::uint8_t> padded;
    padded.set_size(std::uint32_t(unpadded_.size() + 1));
    std::memcpy(padded.data(), unpadded_.data(), unpadded_.size());
    padded.data()[unpadded_.size()] = 0;
    old_.handler->finish_comment(padded, std::uint32_t(unpadded_.size()));
    if (padded.get_count() != unpadded_.size() + 1) return false;
    comment_block_contents contents = comment_block_parse(unpadded_.data() + prefix_size_,
                                                          std::uint32_t(unpadded_.size() - prefix_size_));
    const std::size_t large = comment_entries_lay_out_for_rewrite(contents.entries);
    vantrel_io::memory_writer out;
    comment_block_write_contents(contents, prefix_, prefix_size_, framing_, out, abort);
    packet.assign(out.get_ptr(), out.get_ptr() + out.get_size());
    text_start = prefix_size_ + 4 + contents.vendor.size() + 4;
    for (std::size_t i = 0; i < large; ++i) text_start += 4 + contents.entries[i].size();
    return true;
  }

private:
  const old_headers& old_;
  const ogg_comment_rewriter::link_edit& edit_;
  const void* prefix_ = nullptr;
  std::uint32_t prefix_size_ = 0;
  bool framing_ = false;
  comment_block_contents contents_;
  tag_field_map::entries comment_changes_;
  bool gains_changed_ = false;
  std::vector<std::uint8_t> unpadded_;
};

// One link's header packets as an edit makes them.
struct rebuilt_link {
  std::vector<ogg_header_packet> packets;  // for the old pages' places
  bool same_sizes = true;                  // every packet keeps its old size
  // The comment for pages made anew, when they can be laid out for the
  // next edit.
  bool can_lay_out = false;
  std::vector<std::uint8_t> laid_out_comment;
  ogg_comment_layout layout;
};

// False, with nothing built, when the edit changes nothing in this link.
bool rebuild_packets(const old_headers& old, const ogg_comment_rewriter::link_edit& edit, rebuilt_link& result,
                     const abort_signal& abort) {
  comment_rebuild comment(old, edit);
  if (!comment.changes_anything()) return false;
  bool changed = false;
  for (std::size_t i = 0; i < old.packets.size(); ++i) {
    const old_packet& from = old.packets[i];
    qiv::array<std::uint8_t> bytes;
    bytes.set_size(from.bytes.get_count());
    if (from.bytes.get_count()) std::memcpy(bytes.data(), from.bytes.data(), from.bytes.get_count());
    const bool header = from.header;
    if (header) comment.rebuild(i, bytes, abort);
    ogg_header_packet& packet = result.packets.emplace_back();
    packet.bytes.assign(bytes.data(), bytes.data() + bytes.get_count());
    packet.end_of_stream = from.end_of_stream;
    // Header pages carry granule position 0.
    packet.granulepos = header && from.granulepos == -1 ? 0 : from.granulepos;
    packet.flush_after = (from.flags & ogg_comment_handler::flush_after_packet) != 0;
    result.same_sizes = result.same_sizes && bytes.get_count() == from.bytes.get_count();
    changed = changed || bytes.get_count() != from.bytes.get_count() ||
              (bytes.get_count() && std::memcmp(bytes.data(), from.bytes.data(), bytes.get_count()) != 0);
  }
  if (!changed) return false;
  result.layout.comment = old.comment;
  result.layout.least_room = least_text_room;
  result.layout.usual_room = usual_text_room;
  result.can_lay_out = comment.laid_out(result.laid_out_comment, result.layout.text_start, abort);
  return true;
}

// The link's new header pages, made anew for a file rewritten whole, its
// first page landing at `offset`.
void make_pages(const old_headers& old, rebuilt_link& link, std::uint64_t offset, new_headers& result,
                const abort_signal& abort) {
  if (link.can_lay_out) {
    link.packets[link.layout.comment].bytes = std::move(link.laid_out_comment);
    result.page_count = ogg_lay_out_header_pages(link.packets, link.layout, offset, old.serial, old.first_sequence,
                                                 result.pages, abort);
  } else {
    header_builder builder(old.serial, old.first_sequence, result);
    for (ogg_header_packet& from : link.packets) {
      ogg_packet packet{};
      packet.packet = from.bytes.data();
      packet.bytes = static_cast<long>(from.bytes.size());
      packet.e_o_s = from.end_of_stream;
      packet.granulepos = from.granulepos;
      builder.add(packet, from.flush_after, abort);
    }
    builder.finish(abort);
  }
  result.old_end = old.end;
  // A page missing after the headers stays missing: readers tell decoders
  // of the loss by the gap in the numbers.
  result.sequence_shift = old.first_sequence + result.page_count - old.following_sequence;
}

// Copies the bytes of [from, to) as they stand, leaving the file's position
// where it was: the page reader reads on from there.
void copy_verbatim(vantrel_io::file_object& source, std::uint64_t from, std::uint64_t to, vantrel_io::writer& out,
                   const abort_signal& abort) {
  if (to <= from) return;
  const std::uint64_t position = source.get_position(abort);
  source.seek(from, abort);
  vantrel_io::copy_exact(source, out, to - from, abort);
  source.seek(position, abort);
}

// Copies the pages of [from, end) with `shift` added to their sequence
// numbers. Bytes that are no page (a page with a bad checksum, junk, what a
// damaged page length left over) are carried over byte for byte, so a
// decoder finds the same audio as before.
void copy_renumbered(vantrel_io::file_ptr source, std::uint64_t from, std::uint64_t end, std::int64_t shift,
                     vantrel_io::writer& out, const abort_signal& abort) {
  ogg_page_reader reader(source);
  reader.seek(from, abort);
  ogg_page page;
  std::uint64_t offset = 0;
  std::uint64_t copied_to = from;
  std::vector<unsigned char> header;
  while (reader.next_raw_page(page, offset, abort, end)) {
    // The page's bytes live in the reader's buffer, which the copy leaves alone.
    copy_verbatim(*source, copied_to, offset, out, abort);
    copied_to = offset + static_cast<std::uint64_t>(page.header_len + page.body_len);
    header.assign(page.header, page.header + page.header_len);
    const std::int64_t sequence = ogg_page_pageno(&page) + shift;
    if (sequence < 0 || sequence > 0xFFFFFFFFll) vantrel_io::throw_io_data();
    for (int i = 0; i < 4; ++i) header[page_sequence_offset + i] = static_cast<unsigned char>(sequence >> (8 * i));
    ogg_page copy = page;
    copy.header = header.data();
    ogg_page_checksum_set(&copy);
    write_page(out, copy, abort);
  }
  copy_verbatim(*source, copied_to, end, out, abort);
}

}  // namespace

namespace ogg_comment_rewriter {

namespace {

// One edited link whose header packets change.
struct link_change {
  std::uint32_t link;
  old_headers old;
  rebuilt_link rebuilt;
  std::vector<std::uint8_t> old_pages;
  // The old pages refilled with the new packets, when they keep their sizes.
  std::vector<std::uint8_t> refilled;
};

bool fits_in_place(const link_range& link, const link_change& change) {
  return !change.refilled.empty() && vantrel_io::change_fits_one_write(link.start, change.old_pages.data(),
                                                                      change.refilled.data(), change.old_pages.size());
}

}  // namespace

void write(vantrel_io::file_ptr file, const std::vector<link_range>& links,
           const std::map<std::uint32_t, link_edit>& edits, retag_temp_source& temp_source,
           const abort_signal& abort) {
  // Every new header is built before the first byte is written, and the
  // way to write them chosen for the file as a whole.
  std::deque<link_change> changes;
  for (const auto& [index, edit] : edits) {
    if (index >= links.size()) vantrel_io::throw_io_data();
    const link_range& link = links[index];
    link_change& change = changes.emplace_back();
    change.link = index;
    {
      ogg_page_reader reader(file);
      change.old = read_headers(reader, link, abort);
    }
    if (!rebuild_packets(change.old, edit, change.rebuilt, abort)) {
      changes.pop_back();
      continue;
    }
    change.old_pages = vantrel_io::read_range(*file, link.start, change.old.end - link.start, abort);
    if (change.rebuilt.same_sizes) {
      change.refilled = change.old_pages;
      if (!ogg_refill_header_pages(change.refilled, change.rebuilt.packets)) change.refilled.clear();
    }
  }
  if (changes.empty()) return;

  // In place only as one write within one page: a process killed at any
  // moment then leaves the old file or the new one, never one link new and
  // another old.
  if (changes.size() == 1 && fits_in_place(links[changes[0].link], changes[0])) {
    const link_change& change = changes[0];
    vantrel_io::overwrite_changed_bytes(*file, links[change.link].start, change.old_pages.data(),
                                        change.refilled.data(), change.old_pages.size(), abort);
    return;
  }

  // Otherwise the whole new file is built aside (without a temporary file
  // nothing is written); the original stays untouched until it is complete.
  vantrel_io::whole_file_rewrite output(*file, temp_source, abort);
  vantrel_io::file_object& temp = output.output();
  file->seek(0, abort);
  vantrel_io::copy_bytes(*file, temp, links[changes.front().link].start, abort);
  auto next = changes.begin();
  for (std::uint32_t i = changes.front().link; i < links.size(); ++i) {
    const link_range& link = links[i];
    if (next == changes.end() || next->link != i) {
      file->seek(link.start, abort);
      vantrel_io::copy_bytes(*file, temp, link.length, abort);
      continue;
    }
    new_headers headers;
    make_pages(next->old, next->rebuilt, temp.get_position(abort), headers, abort);
    ++next;
    temp.write(headers.pages.get_ptr(), headers.pages.get_size(), abort);
    const std::uint64_t end = link.start + link.length;
    if (headers.sequence_shift == 0) {
      file->seek(headers.old_end, abort);
      vantrel_io::copy_bytes(*file, temp, end - headers.old_end, abort);
    } else {
      copy_renumbered(file, headers.old_end, end, headers.sequence_shift, temp, abort);
    }
  }
  output.finish(abort);
}

}  // namespace ogg_comment_rewriter
