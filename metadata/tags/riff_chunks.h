// The chunk tree of a RIFF/WAVE file as the tag code edits it in place:
// walking the chunks, merging removable chunks into "JUNK" filler, placing a
// new chunk in a run of filler that fits it or at the end, and keeping the
// RIFF size field right after each change. The audio data never moves.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace riff_chunks {

struct header {
  char id[4];
  std::uint32_t size;
};

// Where the chunk at `offset` with `size` data bytes is followed by the next.
inline std::uint64_t next_offset(std::uint64_t offset, std::uint32_t size) {
  const std::uint64_t end = offset + 8 + size;
  return end + (end & 1);
}

bool is_id(const char* id, const char* expected);
// A chunk holding an ID3v2 tag: other taggers name it "ID3 ", some "id3 ".
bool is_id3_chunk(const char* id);
header read_header(vantrel_io::file_object& file, const abort_signal& abort);

// Checks "RIFF" and, when asked, the "WAVE" form type; answers the RIFF total
// length (size field + 8) and leaves the file at offset 12.
std::uint64_t read_riff_header(vantrel_io::file_object& file, bool require_wave, const abort_signal& abort);
// The walk ends here: the total, plus the pad byte an odd total implies.
inline std::uint64_t riff_end(std::uint64_t total) { return total + (total & 1); }

// Walks the tree of a RIFF/WAVE file: exception_io_data for a chunk that
// reaches past the RIFF's end or a RIFF that ends before the audio. Answers
// where the last chunk's data end, before the pad byte an odd size implies.
std::uint64_t check_tree(vantrel_io::file_object& file, const abort_signal& abort);

// Removable chunks in consecutive runs become single "JUNK" chunks; a run
// at the end of the file is cut off.
void merge_into_junk(vantrel_io::file_object& file, bool drop_id3, bool drop_info, const abort_signal& abort);

// Writes the chunk into the first run of "JUNK" that it fills exactly or
// with at least 8 bytes to spare, else appends it at the end.
void place_chunk(vantrel_io::file_object& file, const char* id, const std::vector<std::uint8_t>& data,
                 const abort_signal& abort);

}  // namespace riff_chunks
