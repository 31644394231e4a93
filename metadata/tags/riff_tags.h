// Tags of RIFF/WAVE files: "LIST" chunks of type "INFO" with one item per
// field, and ID3 chunks ("id3 " or "ID3 ") each holding a whole ID3v2 tag,
// read together (riff_id3_chunks.h). Both kinds are shown, field by field:
// the ID3 chunks' value where both hold a field. A write leaves one of each
// (no INFO list where the ID3 chunks stood alone, and no ID3 chunk beside an
// INFO list that is the file's tag unless the edit holds what the list
// cannot), the ID3 chunk holding every field, and what stands behind the
// RIFF stays behind it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

class track_info;

namespace riff_tags {

// The new tag chunks' payloads; empty means no such chunk.
struct rendered_tags {
  std::vector<std::uint8_t> info_list;  // "INFO" and the items
  std::vector<std::uint8_t> id3;
  // The ID3 chunk keeps the name the file gave the one it shows first; a
  // new one is "id3 ".
  char id3_chunk_id[5] = "id3 ";
  // False when the write changes no value: the file is then left as it is.
  bool changes = true;
};

void read(vantrel_io::file_object& file, track_info& out, const abort_signal& abort);

// Everything the new chunks hold, made from the old chunks and the fields
// before the file is touched: a damaged old chunk fails here.
rendered_tags render(vantrel_io::file_object& file, const track_info& info, const abort_signal& abort);
// Turns the old tag chunks into "JUNK" and places the rendered ones.
// `original`: the file `file` is a copy of, unchanged by the edit, or null
// (riff_chunks::edit_keeping_tail).
void apply(vantrel_io::file_object& file, vantrel_io::file_object* original, const rendered_tags& tags,
           const abort_signal& abort);
// render, then apply, on this file in place.
void write(vantrel_io::file_object& file, const track_info& info, const abort_signal& abort);

void rewrite_chunks(vantrel_io::file_object& file, vantrel_io::file_object* original, const abort_signal& abort,
                    bool drop_id3, bool drop_info);

}  // namespace riff_tags
