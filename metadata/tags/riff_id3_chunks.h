// The ID3 chunks of a WAV file ("ID3 " and "id3 ": two taggers that each
// look for their own name leave both) as one tag. ffprobe reads every one of
// them, mutagen and TagLib only the first, which may be empty. The player
// shows them all: the tag of the first chunk that holds one, with the frames
// of the later ones taken in as stacked ID3v2 tags are (where two chunks
// hold one field, the first one's value). A write leaves that one tag in one
// chunk, so every reader then reads the same.
#pragma once

#include <cstdint>
#include <vector>

#include "io/io_exceptions.h"
#include "metadata/tags/id3v2_reader.h"
#include "metadata/tags/id3v2_tag.h"

namespace riff_tags {

struct id3_chunk {
  char id[4];
  std::vector<std::uint8_t> data;
};

struct merged_id3_chunks {
  id3parser::tag tag;
  // Whether a chunk holds a readable tag; without one the INFO list counts.
  bool shown = false;
  // The name of the first chunk that holds a tag (else of the first chunk):
  // the one chunk a write leaves takes it.
  char chunk_id[5] = "id3 ";
  // What the one chunk written would lose: a chunk whose tag does not
  // read, and frames of later chunks the first one's version has no form
  // for.
  bool damaged = false;
  std::vector<std::uint32_t> frames_not_taken;
};

// Chunks holding no tag (empty ones, stray bytes) and damaged ones hide
// nothing: the chunks after them are read.
merged_id3_chunks merge_id3_chunks(const std::vector<id3_chunk>& chunks, id3parser::frame_filter& filter);

// Before a write that leaves one chunk: refuses, with the file unchanged,
// one that would lose what `merged` notes.
void refuse_losing_id3_chunks(const merged_id3_chunks& merged);

class exception_riff_id3_chunk_damaged : public vantrel_io::exception_io_data {
public:
  exception_riff_id3_chunk_damaged()
      : vantrel_io::exception_io_data(vantrel_io::io_message(
            "exception_riff_id3_chunk_damaged",
            "An ID3 chunk of the file is damaged and would be lost with this edit; the file was not changed")) {}
};

class exception_riff_id3_frame_not_kept : public vantrel_io::exception_io_data {
public:
  exception_riff_id3_frame_not_kept(const char* frame, unsigned version)
      : vantrel_io::exception_io_data(message(frame, version)) {}

private:
  static vantrel_io::io_message message(const char* frame, unsigned version) {
    vantrel_io::io_message text("exception_riff_id3_frame_not_kept",
                                "The file holds several ID3 chunks; the frame {frame} of a later one has no "
                                "ID3v2.{version} form and would be lost in the one chunk written; the file was not "
                                "changed");
    text.fill_placeholder("frame", frame);
    text.fill_placeholder("version", version == 4 ? "4" : "3");
    return text;
  }
};

}  // namespace riff_tags
