// The data error of a tag reader that finds no tag of its kind: callers
// that combine several tag kinds take it as "none of this kind".
#pragma once

#include "io/io_exceptions.h"

class exception_tag_not_found : public vantrel_io::exception_io_data {
public:
  exception_tag_not_found()
      : vantrel_io::exception_io_data(vantrel_io::io_message("exception_tag_not_found", "Tag not found")) {}
};
