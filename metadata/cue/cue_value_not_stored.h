// The data error of an edit of a cue track that the file cannot hold: its
// sheet is a FLAC CUESHEET block, which the tags can add to but not take
// from. The write is refused whole, so the file keeps what it had.
#pragma once

#include <cstdint>
#include <string>

#include "io/io_exceptions.h"

class exception_cue_value_not_stored : public vantrel_io::exception_io_data {
public:
  exception_cue_value_not_stored(const char* field, std::uint32_t track)
      : vantrel_io::exception_io_data(message(field, track)) {}

private:
  static vantrel_io::io_message message(const char* field, std::uint32_t track) {
    vantrel_io::io_message text("exception_cue_value_not_stored",
                                "The {field} of track {track} cannot be stored beside the file's CUESHEET "
                                "block; the file was not changed");
    text.fill_placeholder("field", field);
    text.fill_placeholder("track", std::to_string(track).c_str());
    return text;
  }
};
