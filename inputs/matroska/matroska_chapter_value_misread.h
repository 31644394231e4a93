// The data error of an edit of one chapter that no Tag aimed at it can hold
// as what it is: ffmpeg and the players built on it read a chapter's Tags
// whatever their level, so an album's TITLE there would be the chapter's
// title to them. The write is refused whole, so the file keeps what it had.
#pragma once

#include "io/io_exceptions.h"
#include "metadata/field_display_names.h"

class exception_chapter_value_misread : public vantrel_io::exception_io_data {
public:
  explicit exception_chapter_value_misread(const char* field)
      : vantrel_io::exception_io_data(message(field)) {}

private:
  static vantrel_io::io_message message(const char* field) {
    vantrel_io::io_message text("exception_chapter_value_misread",
                                "The {field} of a single chapter cannot be stored in this file: other programs would "
                                "read it as another field of that chapter; the file was not changed");
    text.fill_placeholder("field", field_display_names::display_name_in_message(field).c_str());
    return text;
  }
};
