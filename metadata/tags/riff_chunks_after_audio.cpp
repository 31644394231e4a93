#include "metadata/tags/riff_chunks_after_audio.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/byte_order.h"
#include "metadata/tags/riff_chunks.h"

namespace riff_chunks {

namespace {

constexpr std::uint64_t search_limit = 16 * 1024 * 1024;
constexpr std::uint32_t window_bytes = 1024 * 1024;
// Tag runs are a handful of chunks; a longer run is not believed, which also
// bounds the work on audio that repeats a chunk header.
constexpr int longest_run = 64;

// Top-level chunks that WAVE writers and taggers put beside the audio.
constexpr char known_ids[][5] = {"LIST", "id3 ", "ID3 ", "JUNK", "junk", "PAD ", "fact", "bext",
                                 "cue ", "smpl", "inst", "iXML", "cart", "DISP", "acid", "_PMX"};

bool is_known_id(const std::uint8_t* bytes) {
  for (const auto& id : known_ids)
    if (std::memcmp(bytes, id, 4) == 0) return true;
  return false;
}

// A chunk whose id says what its data starts with must start so.
bool content_fits_id(vantrel_io::file_object& file, const std::uint8_t* id, std::uint32_t size,
                     const abort_signal& abort) {
  const bool list = std::memcmp(id, "LIST", 4) == 0;
  const bool id3 = is_id3_chunk(reinterpret_cast<const char*>(id));
  if (!list && !id3) return true;
  char start[4];
  if (size < 4 || file.read(start, 4, abort) < 4) return false;
  if (list) return std::memcmp(start, "INFO", 4) == 0 || std::memcmp(start, "adtl", 4) == 0;
  return std::memcmp(start, "ID3", 3) == 0;
}

bool chunks_reach_end(vantrel_io::file_object& file, std::uint64_t offset, std::uint64_t end,
                      const abort_signal& abort) {
  for (int count = 0; count < longest_run && offset + 8 <= end; ++count) {
    std::uint8_t header[8];
    file.seek(offset, abort);
    if (file.read(header, 8, abort) < 8 || !is_known_id(header)) return false;
    const std::uint32_t size = qiv::load_le(header + 4, 4);
    if (!content_fits_id(file, header, size, abort)) return false;
    const std::uint64_t next = offset + 8 + size;
    // The last chunk may lack its pad byte.
    if (next == end || next + (size & 1) == end) return true;
    offset = next + (size & 1);
  }
  return false;
}

}  // namespace

std::uint64_t find_chunks_after_audio(vantrel_io::file_object& file, std::uint64_t audio_start, std::uint64_t end,
                                      const abort_signal& abort) {
  if (end <= audio_start) return end;
  std::uint64_t position = end - audio_start > search_limit ? end - search_limit : audio_start;
  std::vector<std::uint8_t> window;
  while (position + 8 <= end) {
    const std::uint32_t length = static_cast<std::uint32_t>(std::min<std::uint64_t>(window_bytes, end - position));
    window.resize(length);
    file.seek(position, abort);
    file.read_exact(window.data(), length, abort);
    // A header may straddle the window's end: the next window starts 3 bytes
    // back, so each start is tried once.
    for (std::uint32_t i = 0; i + 3 < length; ++i) {
      if (!is_known_id(window.data() + i)) continue;
      if (chunks_reach_end(file, position + i, end, abort)) return position + i;
    }
    if (length < window_bytes) break;
    position += length - 3;
  }
  return end;
}

}  // namespace riff_chunks
