// The data error of a chapter edit of a stream whose chapter packets could
// not all be read: a rewrite of the chapters would lose those left out, so
// the write is refused whole and the file keeps what it had.
#pragma once

#include "io/io_exceptions.h"

class exception_chapters_damaged : public vantrel_io::exception_io_data {
public:
  exception_chapters_damaged()
      : vantrel_io::exception_io_data(vantrel_io::io_message(
            "exception_chapters_damaged",
            "A chapter of the file is damaged and would be lost with this edit; the file was not changed")) {}
};
