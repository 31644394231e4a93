#include "inputs/musepack/musepack_seek_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "inputs/musepack/musepack_packets.h"
#include "io/io_exceptions.h"

namespace musepack {

namespace {

// The seek table's numbers are not byte-aligned: after the entry count come
// four bits, then the first entry, each number in big-endian groups of 7 bits.
class bit_reader {
public:
  explicit bit_reader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool bits(unsigned count, std::uint64_t& out) {
    out = 0;
    for (unsigned i = 0; i < count; ++i, ++bit_) {
      if (bit_ / 8 >= bytes_.size()) return false;
      out = (out << 1) | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
    }
    return true;
  }

  bool number(std::uint64_t& out) {
    out = 0;
    for (int i = 0; i < 9; ++i) {
      std::uint64_t byte = 0;
      if (!bits(8, byte)) return false;
      out = (out << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return true;
    }
    return false;
  }

private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bit_ = 0;
};

bit_reader payload_start(vantrel_io::file_object& file, const packet_header& packet, const abort_signal& abort) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(packet.payload_size, 32)));
  file.seek(packet.payload_position(), abort);
  bytes.resize(file.read(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort));
  return bit_reader(std::move(bytes));
}

// The packet at `position`, or one not found (past the end of a cut file).
packet_header packet_at(vantrel_io::file_object& file, std::uint64_t position, const abort_signal& abort) {
  if (position >= file.get_size(abort)) return packet_header();
  try {
    packet_reader reader(file, position);
    return reader.next(abort);
  } catch (const vantrel_io::exception_io_data&) {
    return packet_header();
  }
}

}  // namespace

std::uint64_t find_stale_seek_table(vantrel_io::file_object& file, std::uint64_t header_position,
                                    const abort_signal& abort) {
  std::uint8_t magic[4] = {};
  file.seek(header_position, abort);
  if (file.read(magic, sizeof magic, abort) != sizeof magic || std::memcmp(magic, "MPCK", 4) != 0)
    return no_stale_table;
  // The first audio packet, and the packet before it that leads to the table.
  packet_header leader;
  std::uint64_t first_audio = 0;
  for (std::uint64_t at = header_position + 4; first_audio == 0;) {
    const packet_header packet = packet_at(file, at, abort);
    if (!packet.found || packet.is("SE")) return no_stale_table;
    if (packet.is("AP")) first_audio = packet.position;
    if (!leader.found && (packet.is("SO") || packet.is("ST"))) leader = packet;
    at += packet.total_size;
  }
  if (!leader.found) return no_stale_table;
  packet_header table = leader;
  if (leader.is("SO")) {
    std::uint64_t offset = 0;
    if (!payload_start(file, leader, abort).number(offset)) return no_stale_table;
    table = packet_at(file, leader.position + offset, abort);
    // A pointer that misses the table leads the library nowhere.
    if (!table.found || !table.is("ST")) return no_stale_table;
  }
  bit_reader entries = payload_start(file, table, abort);
  std::uint64_t count = 0, power = 0, first = 0;
  if (!entries.number(count) || !entries.bits(4, power) || !entries.number(first)) return no_stale_table;
  return header_position + first == first_audio ? no_stale_table : leader.position;
}

}  // namespace musepack
