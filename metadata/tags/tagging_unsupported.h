// The data error of an input asked to write tags into a file format it can
// read but not tag.
#pragma once

#include "io/io_exceptions.h"

class exception_tagging_unsupported : public vantrel_io::exception_io_data {
public:
  exception_tagging_unsupported()
      : vantrel_io::exception_io_data(vantrel_io::io_message(
            "exception_tagging_unsupported", "Tagging of this file format is not supported")) {}
};
