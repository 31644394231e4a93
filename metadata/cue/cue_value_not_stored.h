// The data error of an edit of a cue track that the file cannot hold: its
// sheet is a FLAC CUESHEET block, which the tags can add to but not take
// from, or a removal after which the track still reads a value of the field
// (the file's tag or the sheet's header gives it to every track, and no tag
// or line of one track can say it has none). The write is refused whole, so
// the file keeps what it had.
#pragma once

#include <cstdint>
#include <string>

#include "io/io_exceptions.h"
#include "metadata/field_display_names.h"

class exception_cue_value_not_stored : public vantrel_io::exception_io_data {
public:
  enum class edit { beside_block, removal };

  exception_cue_value_not_stored(const char* field, std::uint32_t track, edit kind = edit::beside_block)
      : vantrel_io::exception_io_data(message(field, track, kind)) {}

private:
  static vantrel_io::io_message message(const char* field, std::uint32_t track, edit kind) {
    vantrel_io::io_message text =
        kind == edit::beside_block
            ? vantrel_io::io_message("exception_cue_value_not_stored",
                                     "The {field} of track {track} cannot be stored beside the file's CUESHEET "
                                     "block; the file was not changed")
            : vantrel_io::io_message("exception_cue_removal_not_stored",
                                     "Removing the {field} of track {track} cannot be stored in the file's tags or "
                                     "cue sheet; the file was not changed");
    text.fill_placeholder("field", field_display_names::display_name_in_message(field).c_str());
    text.fill_placeholder("track", std::to_string(track).c_str());
    return text;
  }
};
