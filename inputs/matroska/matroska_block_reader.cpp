#include "inputs/matroska/matroska_block_reader.h"

#include "inputs/matroska/ebml_elements.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

enum lacing : std::uint8_t { lacing_none = 0, lacing_xiph = 1, lacing_fixed = 2, lacing_ebml = 3 };

struct block_header {
  std::int32_t timecode;
  bool invisible;
};

// The size is checked against the block before anything is allocated.
void read_frame(matroska_cluster_frames& frames, ebml_reader& reader, std::uint64_t size, const block_header& header,
                bool first) {
  if (size > matroska_max_frame_size) vantrel_io::throw_io_data();
  reader.check_available(size);
  matroska_frame& frame = frames.append();
  frame.timecode = header.timecode;
  frame.has_timecode = first;
  frame.invisible = header.invisible;
  frame.data.resize(static_cast<std::size_t>(size));
  if (size) reader.read(frame.data.data(), static_cast<std::uint32_t>(size));
}

std::uint64_t read_xiph_size(ebml_reader& reader) {
  std::uint64_t size = 0;
  std::uint8_t byte;
  do {
    byte = read_byte(reader);
    size += byte;
  } while (byte == 255);
  return size;
}

std::vector<std::uint64_t> read_lace_sizes(ebml_reader& reader, lacing kind, unsigned count) {
  std::vector<std::uint64_t> sizes(count);
  for (unsigned i = 0; i < count; ++i) {
    if (kind == lacing_xiph) {
      sizes[i] = read_xiph_size(reader);
    } else if (i == 0) {
      sizes[i] = ebml_read_size_rest(reader, read_byte(reader));
    } else {
      const std::int64_t difference = matroska_read_signed_vint(reader);
      if (difference < 0 && static_cast<std::uint64_t>(-difference) > sizes[i - 1]) vantrel_io::throw_io_data();
      sizes[i] = sizes[i - 1] + static_cast<std::uint64_t>(difference);
    }
  }
  return sizes;
}

}  // namespace

std::int64_t matroska_read_signed_vint(ebml_reader& reader) {
  unsigned length;
  const std::uint64_t value = ebml_read_vint_rest(reader, read_byte(reader), length);
  // Half the range of the length, so that the values around 0 are symmetric.
  const std::int64_t bias = (std::int64_t{1} << (7 * length - 1)) - 1;
  return static_cast<std::int64_t>(value) - bias;
}

void matroska_read_block(matroska_cluster_frames& frames, ebml_reader& reader) {
  std::uint8_t head[3];
  reader.read(head, 3);
  const block_header header{static_cast<std::int16_t>((head[0] << 8) | head[1]), ((head[2] >> 3) & 1) != 0};
  const auto kind = static_cast<lacing>((head[2] >> 1) & 3);

  if (kind == lacing_none) {
    read_frame(frames, reader, reader.remaining(), header, true);
    return;
  }
  const unsigned count = read_byte(reader) + 1u;
  if (kind == lacing_fixed) {
    // Bytes beyond count whole frames are left for the child loop to skip.
    const std::uint64_t size = reader.remaining() / count;
    for (unsigned i = 0; i < count; ++i) read_frame(frames, reader, size, header, i == 0);
    return;
  }
  if (count == 1) {
    read_frame(frames, reader, reader.remaining(), header, true);
    return;
  }
  const std::vector<std::uint64_t> sizes = read_lace_sizes(reader, kind, count - 1);
  for (unsigned i = 0; i < count - 1; ++i) read_frame(frames, reader, sizes[i], header, i == 0);
  read_frame(frames, reader, reader.remaining(), header, false);
}

}  // namespace Matroska
