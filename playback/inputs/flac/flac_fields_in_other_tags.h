// The data error of an edit that would leave a FLAC file's comment blocks
// without a field while the file shows those of an ID3v2 or APEv2 tag:
// those tags are not written in FLAC files, and a reading falls back to
// them whenever the blocks hold no field, so the fields would stay shown.
#pragma once

#include "io/io_exceptions.h"

class exception_flac_fields_in_other_tags : public vantrel_io::exception_io_data {
public:
  exception_flac_fields_in_other_tags()
      : vantrel_io::exception_io_data(vantrel_io::io_message(
            "exception_flac_fields_in_other_tags",
            "The fields of this file stand in an ID3v2 or APEv2 tag, which is not written in FLAC files, so "
            "removing all of them would leave them shown; the file was not changed")) {}
};
