// The frames of an ID3v2.2 tag and their later forms. Reading gives each
// frame its four-letter identifier, so that the mapping and the writer see a
// version 2.3 frame; a tag read as version 2.2 is written back as 2.3. A
// frame with no later form keeps its three letters: it could not be written
// back, and a rewrite that would lose it is refused instead.
#pragma once

#include <cstdint>

#include "io/io_exceptions.h"
#include "metadata/tags/id3v2_tag.h"

// The four-letter identifier of a version 2.2 one, 0 when it has none.
std::uint32_t id3v2_frame_id_from_v22(const char* text);

// The identifier a frame without a later form keeps: its three letters and
// a zero byte.
std::uint32_t id3v2_three_letter_id(const std::uint8_t* letters);

// A linked-information frame names the frame it links in three letters in
// version 2.2 and in four later. False when that frame has no later form.
bool id3v2_link_from_v22(id3parser::frame& f);

// A rewrite as version 2.3 of a version 2.2 tag that holds a frame with no
// later form: refused before anything is written, so the file keeps it.
class exception_id3v22_frame_not_kept : public vantrel_io::exception_io_data {
public:
  explicit exception_id3v22_frame_not_kept(const char* frame)
      : vantrel_io::exception_io_data(message(frame)) {}

private:
  static vantrel_io::io_message message(const char* frame) {
    vantrel_io::io_message text("exception_id3v22_frame_not_kept",
                                "The ID3v2.2 frame {frame} has no ID3v2.3 form and would be lost; the file was not "
                                "changed");
    text.fill_placeholder("frame", frame);
    return text;
  }
};

// Throws exception_id3v22_frame_not_kept for the first frame of a version
// 2.2 tag that has no later form.
void id3v2_refuse_v22_frames_without_later_form(const id3parser::tag& t);
