#include "playback/inputs/ogg/ogg_comment_rewriter.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>

#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io/temp_schemes.h"
#include "metadata/tags/comment_block.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "playback/inputs/ogg/ogg_album_art_file.h"
#include "playback/inputs/ogg/ogg_page_reader.h"

namespace {

class exception_audio_in_header_page : public vantrel_io::exception_io_data {
public:
  exception_audio_in_header_page()
      : exception_io_data(vantrel_io::io_message("exception_audio_in_header_page",
                                                 "Audio shares a page with the comment header; tags not written")) {}
};

constexpr std::uint32_t copy_chunk = 65536;
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
  std::uint32_t old_page_count = 0;
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

// Feeds one header packet to the handler; when it is the comment packet,
// `rebuilt` receives it with the edit's pictures in place of the old ones
// (and its text fields replaced too when the edit changes them), padded
// towards the old size.
unsigned rebuild_with_pictures(ogg_comment_handler& handler, const qiv::array<std::uint8_t>& packet,
                               const ogg_comment_rewriter::link_edit& edit, const track_info& info,
                               qiv::array<std::uint8_t>& rebuilt,
                               const abort_signal& abort) {
  rebuilt.set_size(0);
  const std::uint32_t size = packet.get_count();
  const unsigned answer = handler.feed_header(packet.data(), size);
  if (answer & ogg_comment_handler::is_comment_packet) {
    const void* prefix = nullptr;
    std::uint32_t prefix_size = 0;
    bool framing = false;
    handler.comment_layout(prefix, prefix_size, framing);
    if (size < prefix_size) vantrel_io::throw_io_data();
    const std::uint8_t* block = packet.data() + prefix_size;
    std::uint32_t block_size = size - prefix_size;
    vantrel_io::memory_writer with_text;
    if (edit.text_changed) {
      comment_block_rebuild(packet.data(), size, info, prefix, prefix_size, false, with_text, abort);
      block = with_text.get_ptr() + prefix_size;
      block_size = with_text.get_size() - prefix_size;
    }
    vantrel_io::memory_writer out;
    if (prefix_size) out.write(prefix, prefix_size, abort);
    ogg_pictures::write_comment(block, block_size, edit.pictures, out, abort);
    if (framing) out.write("\1", 1, abort);
    rebuilt.set_size(out.get_size());
    std::memcpy(rebuilt.data(), out.get_ptr(), out.get_size());
    const std::uint32_t unpadded_size = rebuilt.get_count();
    comment_pad(rebuilt, size);
    handler.finish_comment(rebuilt, unpadded_size);
  }
  return answer & (ogg_comment_handler::headers_complete | ogg_comment_handler::flush_after_packet);
}

void rebuild_headers(ogg_page_reader& reader, const ogg_comment_rewriter::link_range& link,
                     const ogg_comment_rewriter::link_edit& edit, new_headers& result, const abort_signal& abort) {
  const std::uint64_t end = link.start + link.length;
  reader.seek(link.start, abort);
  ogg_page page;
  std::uint64_t offset = 0;
  if (!reader.next_raw_page(page, offset, abort, end) || !ogg_page_bos(&page)) vantrel_io::throw_io_data();
  const std::int64_t first_sequence = ogg_page_pageno(&page);
  stream_state in(ogg_page_serialno(&page));
  header_builder builder(ogg_page_serialno(&page), first_sequence, result);
  // The sequence number the page after the old headers carries.
  std::int64_t following_sequence = first_sequence;
  track_info_impl working(edit.info);
  service_ptr<ogg_comment_handler> handler;
  bool complete = false;
  std::uint32_t index = 0;
  for (;;) {
    ogg_stream_pagein(&in.state, &page);
    ++result.old_page_count;
    result.old_end = offset + static_cast<std::uint64_t>(page.header_len + page.body_len);
    const bool open = leaves_packet_open(page);
    following_sequence = ogg_page_pageno(&page) + 1;
    ogg_packet packet;
    int got;
    while ((got = ogg_stream_packetout(&in.state, &packet)) != 0) {
      if (got < 0) vantrel_io::throw_io_data();
      if (complete) {
        // Header packets after the comment (a Vorbis setup header) share
        // its page, whose granule position is 0. Audio sharing it would
        // have to be paged anew, and only the last packet ending on a page
        // has a known granule position: the others would lose theirs.
        if (ogg_page_granulepos(&page) != 0) throw exception_audio_in_header_page();
        builder.add(packet, false, abort);
        continue;
      }
      if (index == 0) ogg_codec::find_for_stream(handler, packet.packet, static_cast<std::uint32_t>(packet.bytes));
      qiv::array<std::uint8_t> bytes;
      bytes.set_size(static_cast<std::uint32_t>(packet.bytes));
      if (packet.bytes) std::memcpy(bytes.data(), packet.packet, static_cast<std::size_t>(packet.bytes));
      // Codec data outside the comment (Opus gains) follows the text fields
      // only; a picture edit leaves it alone.
      if (edit.text_changed) handler->prepare_header(index, bytes, working);
      ++index;
      qiv::array<std::uint8_t> rebuilt;
      const unsigned flags =
          edit.pictures_changed
              ? rebuild_with_pictures(*handler, bytes, edit, working, rebuilt, abort)
              : comment_packet_rebuild(*handler, bytes.data(), bytes.get_count(), working, rebuilt);
      const qiv::array<std::uint8_t>& written = rebuilt.get_count() ? rebuilt : bytes;
      packet.packet = const_cast<unsigned char*>(written.data());
      packet.bytes = static_cast<long>(written.get_count());
      // Header pages carry granule position 0.
      if (packet.granulepos == -1) packet.granulepos = 0;
      builder.add(packet, (flags & ogg_comment_handler::flush_after_packet) != 0, abort);
      complete = (flags & ogg_comment_handler::headers_complete) != 0;
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
  builder.finish(abort);
  // A page missing after the headers stays missing: readers tell decoders
  // of the loss by the gap in the numbers.
  result.sequence_shift = first_sequence + result.page_count - following_sequence;
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

void write(vantrel_io::file_ptr file, const std::vector<link_range>& links,
           const std::map<std::uint32_t, link_edit>& edits, retag_temp_source& temp_source,
           const abort_signal& abort) {
  vantrel_io::file_ptr temp;
  bool committed_by_source = false;
  for (std::uint32_t i = 0; i < links.size(); ++i) {
    const link_range& link = links[i];
    const auto edit = edits.find(i);
    if (edit == edits.end()) {
      if (temp) {
        file->seek(link.start, abort);
        vantrel_io::copy_bytes(*file, *temp, link.length, abort);
      }
      continue;
    }
    new_headers headers;
    {
      ogg_page_reader reader(file);
      rebuild_headers(reader, link, edit->second, headers, abort);
    }
    const std::uint64_t old_size = headers.old_end - link.start;
    if (!temp && headers.pages.get_size() == old_size && headers.page_count == headers.old_page_count) {
      vantrel_io::overwrite_changed_bytes(*file, link.start, headers.pages.get_ptr(), headers.pages.get_size(), abort);
      continue;
    }
    if (!temp) {
      // From here on the whole new file is built aside; the original stays
      // untouched until it is complete.
      committed_by_source = temp_source.open_temp(temp, abort);
      if (!committed_by_source) vantrel_io::open_temp_file(temp, abort);
      file->seek(0, abort);
      vantrel_io::copy_bytes(*file, *temp, link.start, abort);
    }
    temp->write(headers.pages.get_ptr(), headers.pages.get_size(), abort);
    const std::uint64_t end = link.start + link.length;
    if (headers.sequence_shift == 0) {
      file->seek(headers.old_end, abort);
      vantrel_io::copy_bytes(*file, *temp, end - headers.old_end, abort);
    } else {
      copy_renumbered(file, headers.old_end, end, headers.sequence_shift, *temp, abort);
    }
  }
  if (!temp) return;
  if (!committed_by_source) {
    // No path to move a file to: copy the finished file over the old one,
    // which copy_whole_file truncates only after the copy.
    vantrel_io::copy_whole_file(*temp, *file, abort);
  }
}

}  // namespace ogg_comment_rewriter
