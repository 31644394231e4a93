// Putting a new Tags element into a Matroska file: over an old Tags element
// when it fits there, else at the end of the Segment, keeping the Segment
// size, the SeekHead and the Void elements right. Every placement is planned
// as steps before the first byte is written, in an order after each of which
// the file still opens with either its old or its new tags. A moved element
// keeps a Void of room behind it within its page, so that a later text edit
// is one write where it stands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "io/in_place_steps.h"
#include "io/io_exceptions.h"

namespace Matroska {

class FileNotTaggable : public vantrel_io::exception_io_data {
public:
  FileNotTaggable()
      : exception_io_data(vantrel_io::io_message(
            "exception_matroska_not_taggable",
            "File can't be retagged, please re-mux it with up-to-date Matroska tools")) {}

protected:
  explicit FileNotTaggable(const vantrel_io::io_message& message) : exception_io_data(message) {}
};

// A file that ends inside its Segment (a download or copy stopped short):
// what it lacks cannot be told apart from what a write would lose.
class FileCutShort : public FileNotTaggable {
public:
  FileCutShort()
      : FileNotTaggable(vantrel_io::io_message("exception_matroska_cut_short",
                                               "File is incomplete: it ends inside its Matroska Segment, and "
                                               "rewriting its tags would lose what is missing")) {}
};

// Adds every top-level Tags element of the Segment to the scan, also those
// that no SeekHead names, so that a retag replaces them all.
void matroska_find_every_tags(matroska_file_scan& scan, ebml_reader& reader);

// Which orders of steps a placement may take: any, for a file no reader sees
// half written (a temporary copy, a file in memory); for a file written in
// place, one whose every change readers see is one write within one page.
enum class tag_step_rule { any_order, each_change_one_write };

// The steps that put a Tags element of `content` into the file read through
// `reader`, which planning does not write: over the Tags element readers
// find, where it fits, else where no reader looks yet, then the SeekHeads
// switched to it and the old Tags turned into Void. None when the file
// cannot take the element under the rule.
std::optional<vantrel_io::in_place_steps> matroska_tag_steps(const matroska_file_scan& scan, ebml_file_reader& reader,
                                                             const std::vector<std::uint8_t>& content,
                                                             tag_step_rule rule);

}  // namespace Matroska
