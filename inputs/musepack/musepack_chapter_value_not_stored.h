// The data error of a chapter edit the file cannot hold: a removal after
// which the chapter still reads the value from the file's own tag, or a
// value no place of the chapter can carry. The write is refused whole, so
// the file keeps what it had.
#pragma once

#include <cstdint>
#include <string>

#include "io/io_exceptions.h"
#include "metadata/field_display_names.h"

class exception_chapter_value_not_stored : public vantrel_io::exception_io_data {
public:
  exception_chapter_value_not_stored(const char* field, std::uint32_t chapter)
      : vantrel_io::exception_io_data(message(field, chapter)) {}

private:
  static vantrel_io::io_message message(const char* field, std::uint32_t chapter) {
    vantrel_io::io_message text("exception_chapter_value_not_stored",
                                "The {field} of chapter {chapter} cannot be stored in the file; the file was not "
                                "changed");
    text.fill_placeholder("field", field_display_names::display_name_in_message(field).c_str());
    text.fill_placeholder("chapter", std::to_string(chapter).c_str());
    return text;
  }
};
