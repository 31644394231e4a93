// A file may start with several ID3v2 tags in a row, as when a tagger put
// its own tag in front of the one there instead of editing it. Other readers
// (ffprobe among them) read them all, and a rewrite writes a single tag, so
// the frames of the later tags are taken into the first: each one whose
// kind no tag before it holds (where both hold one, the first's value is
// the one shown). A frame of another version is taken in the first tag's
// version form; one that has no such form is noted instead, and a rewrite
// that would lose it is refused.
#pragma once

#include <cstdint>
#include <string>

#include "io/io_exceptions.h"
#include "metadata/tags/id3v2_tag.h"

// A frame id as its letters, for messages ('?' for a byte no letter shows).
std::string id3v2_frame_id_letters(std::uint32_t id);

// Takes the frames of `later`, the tag stacked behind `first`, into `first`.
void id3v2_take_stacked_tag(id3parser::tag& first, const id3parser::tag& later);

// A rewrite of stacked tags that would lose a frame of a later tag: refused
// before anything is written, so the file keeps it.
class exception_id3v2_stacked_frame_not_kept : public vantrel_io::exception_io_data {
public:
  exception_id3v2_stacked_frame_not_kept(const char* frame, unsigned version)
      : vantrel_io::exception_io_data(message(frame, version)) {}

private:
  static vantrel_io::io_message message(const char* frame, unsigned version) {
    vantrel_io::io_message text("exception_id3v2_stacked_frame_not_kept",
                                "The file starts with several ID3v2 tags; the frame {frame} of a later one has no "
                                "ID3v2.{version} form and would be lost in the one tag written; the file was not "
                                "changed");
    text.fill_placeholder("frame", frame);
    text.fill_placeholder("version", version == 4 ? "4" : "3");
    return text;
  }
};

// Before a rewrite: exception_id3v2_stacked_frame_not_kept for a frame of a
// later tag that `t` could not take in, id3parser::parseError when one of
// those tags was damaged (a damaged tag is never written over).
void id3v2_refuse_losing_stacked_frames(const id3parser::tag& t);
