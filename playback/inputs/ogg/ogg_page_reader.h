// Reads the pages and packets of an Ogg file and finds places in it: the
// first page at or after an offset, the last packet or page before one, the
// offsets at which the links of a chained file begin, and where decoding
// must restart to reach a granule position. libogg does the framing; this
// reader owns the file access and the search strategies.
#pragma once

#include <ogg/ogg.h>

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

class ogg_page_reader {
public:
  static constexpr std::uint64_t no_limit = ~std::uint64_t{0};

  explicit ogg_page_reader(vantrel_io::file_ptr file);
  ~ogg_page_reader();
  ogg_page_reader(const ogg_page_reader&) = delete;
  ogg_page_reader& operator=(const ogg_page_reader&) = delete;

  void reset(const abort_signal& abort);
  void seek(std::uint64_t position, const abort_signal& abort);
  bool can_seek();
  vantrel_io::file_ptr get_file() const { return file_; }

  // Feeds the next chunk (growing while the reads go on from one place,
  // never past `limit`) to the sync.
  bool read_more(const abort_signal& abort, std::uint64_t limit);
  bool next_page(const abort_signal& abort, std::uint64_t limit);
  // The packet stays valid until the next read.
  bool next_packet(ogg_packet& out, const abort_signal& abort, std::uint64_t limit);

  // The next whole page and the offset of its first byte, stepping over
  // bytes that are no page.
  bool next_raw_page(ogg_page& out, std::uint64_t& offset, const abort_signal& abort, std::uint64_t limit);

  bool page_at_or_after(std::uint64_t& position, ogg_page& out, const abort_signal& abort, std::uint64_t limit);
  bool last_packet_in_range(ogg_packet& out, const abort_signal& abort, std::uint64_t begin, std::uint64_t end);
  std::uint64_t last_page_of_file(std::uint64_t end, ogg_page& out, const abort_signal& abort);
  // Offsets of the first page of each logical stream, in file order.
  std::vector<std::uint64_t> find_links(const abort_signal& abort);
  // Leaves the reader so that the next packet is the first of `preroll`
  // packets before the target; `preroll` comes back as the count available.
  std::int64_t seek_to_granule(std::int64_t target, const abort_signal& abort, std::uint64_t begin,
                               std::uint64_t end, std::uint32_t& preroll);

private:
  std::uint64_t size_or_throw(std::uint64_t end, const abort_signal& abort);
  void find_links_between(std::vector<std::uint64_t>& links, std::uint64_t lo, std::uint32_t serial_lo,
                          std::uint64_t hi, std::uint32_t serial_hi, const abort_signal& abort);

  std::uint32_t serial_ = 0;
  bool serial_known_ = false;
  // File offset of the first byte the sync has not yet given out as a page.
  std::uint64_t sync_offset_ = 0;
  std::uint32_t read_size_ = 4096;
  ogg_stream_state stream_{};
  ogg_sync_state sync_{};
  vantrel_io::file_ptr file_;
};
