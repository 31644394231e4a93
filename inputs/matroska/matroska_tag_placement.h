// Putting a new Tags element into a Matroska file: over an old Tags element
// when it fits there, else at the end of the Segment, keeping the Segment
// size, the SeekHead and the Void elements right. Every placement is planned
// before the first byte is written, and the writes go in an order after each
// of which the file still opens with either its old or its new tags.
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "io/io_exceptions.h"

namespace Matroska {

class FileNotTaggable : public vantrel_io::exception_io_data {
public:
  FileNotTaggable()
      : exception_io_data(vantrel_io::io_message(
            "exception_matroska_not_taggable",
            "File can't be retagged, please re-mux it with up-to-date Matroska tools")) {}
};

// Adds every top-level Tags element of the Segment to the scan, also those
// that no SeekHead names, so that a retag replaces them all.
void matroska_find_every_tags(matroska_file_scan& scan, ebml_reader& reader);

// Whether the element takes the place of the file's only Tags element in
// one write that lies within one page, which the system puts down whole.
// Every other placement takes several writes, or one that a killed process
// can leave half done, and belongs in a copy of the file.
bool matroska_tags_fit_one_write(const matroska_file_scan& scan, ebml_reader& reader,
                                 const std::vector<std::uint8_t>& content);

// False, with nothing written, when the file cannot take the element.
bool matroska_place_tags(matroska_file_scan& scan, ebml_reader& writer, const std::vector<std::uint8_t>& content);

}  // namespace Matroska
