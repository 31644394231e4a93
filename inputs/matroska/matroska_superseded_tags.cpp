#include "inputs/matroska/matroska_superseded_tags.h"

#include <algorithm>
#include <compare>
#include <cstring>

#include "foundation/crc32.h"
#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

// What a Void's content begins with when it is such a list; a Void of any
// other content (zeros, the old bytes it covers) lists nothing.
constexpr char list_mark[] = {'T', 'a', 'g', 's', ' ', 't', 'a', 'k', 'e', 'n', ' ', 'i', 'n', ':'};
// Each element: its position in the Segment's content and its size, 8 bytes
// each, and the checksum, 4 bytes, all big-endian.
constexpr std::size_t entry_size = 8 + 8 + 4;
// The checksum covers an element's first bytes, enough to tell it from
// another at the same place and of the same size; reading stays bounded.
constexpr std::uint64_t checksummed_bytes = 1 << 20;
// A write lists every element it takes in, thousands where another program
// wrote one element per value; a Void longer than any content read into
// memory is no list.
constexpr std::uint64_t longest_list = ebml_max_binary_size;

struct tags_fingerprint {
  std::uint64_t position = 0, size = 0;
  std::uint32_t checksum = 0;
  auto operator<=>(const tags_fingerprint&) const = default;
};

tags_fingerprint fingerprint_at(const matroska_file_scan& scan, ebml_reader& reader, std::uint64_t position) {
  reader.seek(position);
  if (ebml_read_id(reader) != ids::tags) vantrel_io::throw_io_data();
  const std::uint64_t size = ebml_read_size(reader);
  if (size == ebml_unknown_size) vantrel_io::throw_io_data();
  const std::uint64_t total = reader.position() - position + size;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(total, checksummed_bytes)));
  reader.seek(position);
  reader.check_available(total);
  reader.read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return {position - scan.segment_data_start, total, qiv::crc32(bytes.data(), bytes.size())};
}

void put_big_endian(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned length) {
  for (unsigned i = length; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t big_endian(const std::uint8_t* bytes, unsigned length) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < length; ++i) value = value << 8 | bytes[i];
  return value;
}

// The elements the Voids among a Tags element's children list.
class list_reader : public ebml_element_handler {
public:
  explicit list_reader(std::set<tags_fingerprint>& listed) : listed_(listed) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id != ids::void_element || size < sizeof list_mark || size > longest_list ||
        (size - sizeof list_mark) % entry_size != 0)
      return;
    // The mark first: a long Void of other content is not read whole.
    char mark[sizeof list_mark];
    reader.read(mark, sizeof mark);
    if (std::memcmp(mark, list_mark, sizeof list_mark) != 0) return;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(size - sizeof mark));
    if (!content.empty()) reader.read(content.data(), static_cast<std::uint32_t>(content.size()));
    for (std::size_t at = 0; at < content.size(); at += entry_size)
      listed_.insert({big_endian(&content[at], 8), big_endian(&content[at + 8], 8),
                      static_cast<std::uint32_t>(big_endian(&content[at + 16], 4))});
  }

private:
  std::set<tags_fingerprint>& listed_;
};

}  // namespace

std::vector<std::uint8_t> matroska_superseded_tags_list(const matroska_file_scan& scan, ebml_reader& reader,
                                                        const std::set<std::uint64_t>& positions) {
  if (positions.empty()) return {};
  std::vector<std::uint8_t> content(list_mark, list_mark + sizeof list_mark);
  for (std::uint64_t position : positions) {
    const tags_fingerprint print = fingerprint_at(scan, reader, position);
    put_big_endian(content, print.position, 8);
    put_big_endian(content, print.size, 8);
    put_big_endian(content, print.checksum, 4);
  }
  ebml_memory_writer out;
  ebml_write_vint(out, ids::void_element);
  ebml_write_vint(out, content.size());
  out.write(content.data(), static_cast<std::uint32_t>(content.size()));
  return out.bytes();
}

void matroska_tags_find_stale(matroska_file_scan& scan, ebml_reader& reader) {
  if (scan.second_tags.empty()) return;
  std::set<tags_fingerprint> listed;
  for (std::uint64_t position : scan.positions_of(ids::tags)) {
    if (scan.second_tags.count(position) || scan.unnamed_tags.count(position)) continue;
    try {
      list_reader handler(listed);
      reader.seek(position);
      ebml_read_element(reader, handler, ids::tags);
    } catch (const vantrel_io::exception_io_data&) {
      // Damaged Tags list what they list up to the damage; reading reports it.
    }
  }
  if (listed.empty()) return;
  for (auto at = scan.second_tags.begin(); at != scan.second_tags.end();) {
    bool taken_in = false;
    try {
      taken_in = listed.count(fingerprint_at(scan, reader, *at)) != 0;
    } catch (const vantrel_io::exception_io_data&) {
    }
    if (!taken_in) {
      ++at;
      continue;
    }
    scan.stale_tags.insert(*at);
    at = scan.second_tags.erase(at);
  }
}

}  // namespace Matroska
