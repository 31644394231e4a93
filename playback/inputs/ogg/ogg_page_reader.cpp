#include "playback/inputs/ogg/ogg_page_reader.h"

#include <algorithm>

#include "io/io_exceptions.h"

namespace {

// Searches step through the file in windows of this size.
constexpr std::uint32_t chunk_size = 1024;
// Reading on from one place, each read takes twice the bytes of the one
// before, up to the largest: a header carrying a cover picture arrives in a
// few reads instead of one per KiB, each of which had the sync's buffer
// grown and copied, while a search that reads a page or two after each jump
// still reads little.
constexpr std::uint32_t first_read_size = 4096;
constexpr std::uint32_t largest_read_size = 65536;

std::uint64_t page_length(const ogg_page& page) {
  return static_cast<std::uint64_t>(page.header_len) + static_cast<std::uint64_t>(page.body_len);
}

}  // namespace

ogg_page_reader::ogg_page_reader(vantrel_io::file_ptr file) : file_(std::move(file)) {
  ogg_stream_init(&stream_, -1);
  ogg_sync_init(&sync_);
  // Room for the largest read and a large page begun before it, so that
  // the sync's buffer is allocated once rather than grown and copied on
  // the way through a header with a picture.
  if (!ogg_sync_buffer(&sync_, largest_read_size)) throw std::bad_alloc();
}

ogg_page_reader::~ogg_page_reader() {
  ogg_stream_clear(&stream_);
  ogg_sync_clear(&sync_);
}

void ogg_page_reader::reset(const abort_signal& abort) {
  file_->rewind(abort);
  sync_offset_ = 0;
  read_size_ = first_read_size;
  ogg_stream_reset(&stream_);
  ogg_sync_reset(&sync_);
  serial_known_ = false;
}

void ogg_page_reader::seek(std::uint64_t position, const abort_signal& abort) {
  file_->seek(position, abort);
  sync_offset_ = position;
  read_size_ = first_read_size;
  ogg_stream_reset(&stream_);
  ogg_sync_reset(&sync_);
  serial_known_ = false;
}

bool ogg_page_reader::can_seek() { return file_->can_seek() && !file_->is_remote(); }

bool ogg_page_reader::read_more(const abort_signal& abort, std::uint64_t limit) {
  std::uint32_t wanted = read_size_;
  read_size_ = std::min(read_size_ * 2, largest_read_size);
  if (limit != no_limit) {
    const std::uint64_t position = file_->get_position(abort);
    if (position >= limit) return false;
    wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, limit - position));
  }
  char* buffer = ogg_sync_buffer(&sync_, wanted);
  if (!buffer) throw std::bad_alloc();
  const std::uint32_t got = file_->read(buffer, wanted, abort);
  if (got == 0) return false;
  ogg_sync_wrote(&sync_, static_cast<long>(got));
  return true;
}

bool ogg_page_reader::next_page(const abort_signal& abort, std::uint64_t limit) {
  ogg_page page;
  std::uint64_t offset = 0;
  if (!next_raw_page(page, offset, abort, limit)) return false;
  const auto serial = static_cast<std::uint32_t>(ogg_page_serialno(&page));
  if (!serial_known_ || serial != serial_) {
    if (ogg_stream_check(&stream_) == 0) ogg_stream_reset(&stream_);
    stream_.serialno = static_cast<long>(serial);
  }
  serial_ = serial;
  serial_known_ = true;
  ogg_stream_pagein(&stream_, &page);
  return true;
}

bool ogg_page_reader::next_packet(ogg_packet& out, const abort_signal& abort, std::uint64_t limit) {
  for (;;) {
    const int answer = ogg_stream_packetout(&stream_, &out);
    if (answer == 1) return true;
    // A negative answer is a gap (lost pages): the packets after it are
    // already in, and the next call hands them out. Reading a page first
    // would lose them when none follows (a gap before the last page).
    if (answer < 0) continue;
    if (!next_page(abort, limit)) return false;
  }
}

bool ogg_page_reader::next_raw_page(ogg_page& out, std::uint64_t& offset, const abort_signal& abort,
                                    std::uint64_t limit) {
  // Bytes that are no page (a bad checksum, a damaged lacing value) are
  // stepped over within what the buffer holds; only a page begun and not
  // whole asks for more. Asking the file at each step would end the stream
  // at damage near its end, where the buffer already holds the rest.
  for (;;) {
    const long answer = ogg_sync_pageseek(&sync_, &out);
    if (answer > 0) {
      offset = sync_offset_;
      sync_offset_ += static_cast<std::uint64_t>(answer);
      return true;
    }
    if (answer < 0) {
      sync_offset_ += static_cast<std::uint64_t>(-answer);
    } else if (!read_more(abort, limit)) {
      return false;
    }
  }
}

bool ogg_page_reader::page_at_or_after(std::uint64_t& position, ogg_page& out, const abort_signal& abort,
                                       std::uint64_t limit) {
  seek(position, abort);
  return next_raw_page(out, position, abort, limit);
}

std::uint64_t ogg_page_reader::size_or_throw(std::uint64_t end, const abort_signal& abort) {
  if (end != no_limit) return end;
  const std::uint64_t size = file_->get_size(abort);
  if (size == no_limit) vantrel_io::throw_exception_io_no_length();
  return size;
}

bool ogg_page_reader::last_packet_in_range(ogg_packet& out, const abort_signal& abort, std::uint64_t begin,
                                           std::uint64_t end) {
  end = size_or_throw(end, abort);
  if (end <= begin) return false;
  const std::uint64_t span = end - begin;
  std::uint64_t window = std::min<std::uint64_t>(chunk_size, span);
  for (;;) {
    seek(end - window, abort);
    bool found = false;
    ogg_packet packet;
    while (next_packet(packet, abort, end)) {
      out = packet;
      found = true;
    }
    if (found) return true;
    if (window >= span) return false;
    window = std::min(window * 2, span);
  }
}

std::uint64_t ogg_page_reader::last_page_of_file(std::uint64_t end, ogg_page& out, const abort_signal& abort) {
  const std::uint64_t span = end;
  std::uint64_t window = std::min<std::uint64_t>(chunk_size, span);
  while (window > 0) {
    std::uint64_t offset = end - window;
    if (page_at_or_after(offset, out, abort, end)) {
      ogg_page next;
      std::uint64_t next_offset = 0;
      while (next_raw_page(next, next_offset, abort, end)) offset = next_offset;
      // A page's bytes live in the sync's buffer, which the read that found
      // no further page may have moved (a page begun and cut off by the end
      // of the file): the last page is read again where it stands.
      if (!page_at_or_after(offset, out, abort, end)) vantrel_io::throw_io_data();
      return offset;
    }
    if (window >= span) break;
    window = std::min(window * 2, span);
  }
  vantrel_io::throw_io_data();
}

std::vector<std::uint64_t> ogg_page_reader::find_links(const abort_signal& abort) {
  const std::uint64_t size = size_or_throw(no_limit, abort);
  std::vector<std::uint64_t> links;
  std::uint64_t first = 0;
  ogg_page page;
  if (!page_at_or_after(first, page, abort, size) || first + page_length(page) > size) vantrel_io::throw_io_data();
  links.push_back(first);
  const std::uint64_t lo = first + page_length(page);
  const auto serial_lo = static_cast<std::uint32_t>(ogg_page_serialno(&page));
  const std::uint64_t hi = last_page_of_file(size, page, abort);
  const auto serial_hi = static_cast<std::uint32_t>(ogg_page_serialno(&page));
  find_links_between(links, lo, serial_lo, hi, serial_hi, abort);
  return links;
}

void ogg_page_reader::find_links_between(std::vector<std::uint64_t>& links, std::uint64_t lo, std::uint32_t serial_lo,
                                         std::uint64_t hi, std::uint32_t serial_hi, const abort_signal& abort) {
  while (serial_lo != serial_hi) {
    if (lo > hi) vantrel_io::throw_io_data();
    if (lo == hi) {
      links.push_back(lo);
      return;
    }
    std::uint64_t mid = lo + (hi - lo) / 2;
    std::uint64_t found = mid;
    ogg_page page;
    while (!page_at_or_after(found, page, abort, hi)) {
      if (mid == lo) vantrel_io::throw_io_data();
      mid = lo + (mid - lo) / 2;
      found = mid;
    }
    const auto serial = static_cast<std::uint32_t>(ogg_page_serialno(&page));
    const std::uint64_t after = found + page_length(page);
    find_links_between(links, lo, serial_lo, found, serial, abort);
    lo = after;
    serial_lo = serial;
  }
}

std::int64_t ogg_page_reader::seek_to_granule(std::int64_t target, const abort_signal& abort, std::uint64_t begin,
                                              std::uint64_t end, std::uint32_t& preroll) {
  end = size_or_throw(end, abort);
  std::uint64_t lo = begin;
  std::uint64_t hi = end;
  std::uint64_t start = begin;
  while (lo < hi) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    std::uint64_t offset = mid;
    ogg_page page;
    if (!page_at_or_after(offset, page, abort, end)) {
      hi = mid;
      continue;
    }
    bool have_granule = ogg_page_granulepos(&page) != -1;
    while (!have_granule && next_raw_page(page, offset, abort, end)) {
      have_granule = ogg_page_granulepos(&page) != -1;
    }
    if (!have_granule || ogg_page_granulepos(&page) > target) {
      hi = mid;
      continue;
    }
    if (offset + page_length(page) >= hi) {
      start = offset;
      break;
    }
    lo = offset;
    start = offset;
  }

  std::uint64_t offset = start;
  ogg_page page;
  if (!page_at_or_after(offset, page, abort, end)) vantrel_io::throw_io_data();
  const std::uint64_t page_end = std::min(offset + page_length(page), end);
  const std::uint64_t span = page_end - begin;
  std::uint64_t window = std::min<std::uint64_t>(chunk_size, span);
  for (;;) {
    seek(page_end - window, abort);
    std::uint32_t count = 0;
    std::uint32_t since_best = 0;
    std::int64_t best = 0;
    ogg_packet packet;
    while (next_packet(packet, abort, page_end)) {
      ++since_best;
      if (packet.granulepos != -1 && packet.granulepos <= target) {
        count += since_best;
        since_best = 0;
        best = packet.granulepos;
      }
    }
    if (count > preroll) {
      // The first packet of the window may lack the state of the ones
      // before it; every later one up to the target is decoded.
      seek(page_end - window, abort);
      if (!next_packet(packet, abort, page_end)) vantrel_io::throw_io_data();
      preroll = count - 1;
      return best;
    }
    if (window >= span) {
      if (count == 0) vantrel_io::throw_io_data();
      seek(page_end - window, abort);
      preroll = count;
      return best;
    }
    window = std::min(window * 2, span);
  }
}
