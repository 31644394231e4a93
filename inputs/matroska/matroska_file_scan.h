// Finding the parts of a Matroska or WebM file: the EBML header is checked,
// the Segment's top-level elements are mapped by scanning and by following
// SeekHeads, and single metadata elements are then read from their mapped
// positions. The scan never reads the content of what it maps.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

struct matroska_file_scan {
  std::string doc_type;
  std::uint64_t segment_position = 0;    // the Segment element's ID
  std::uint64_t segment_data_start = 0;  // its first content byte
  std::uint64_t segment_data_size = 0;
  // The file ends inside the Segment (an interrupted download):
  // segment_data_size is then what the file holds of it, and only elements
  // that lie whole within that are mapped.
  bool cut = false;
  // Element ID -> file positions of the top-level elements with that ID.
  std::map<std::uint32_t, std::set<std::uint64_t>> element_positions;
  // SeekHeads whose entries have been taken, so each is read once.
  std::set<std::uint64_t> seekheads_read;
  // Tags elements after the first Cluster that only a walk of the whole
  // Segment finds (no SeekHead names them): no reader ever sees them.
  std::set<std::uint64_t> unnamed_tags;
  // Tags elements before the first Cluster, or named by a SeekHead there,
  // that no SeekHead the scan followed names while one names another.
  // Readers that walk the Segment up to its first Cluster (ffprobe,
  // mkvextract) read them beside the named ones, and so does the player:
  // another program's second element, whose values a write merges into the
  // one element it leaves.
  std::set<std::uint64_t> second_tags;
  // Those of them that a named Tags element lists as taken in (see
  // matroska_superseded_tags): what an edit stopped after it put its new
  // Tags down left. They are not read, and the next write turns them into
  // Void, also one that changes no value.
  std::set<std::uint64_t> stale_tags;
  // Void elements after the first Cluster, each the first of a run of Voids
  // that follows no SeekHead (which would grow into it): room a new Tags
  // element can take.
  std::set<std::uint64_t> spare_voids;

  // The positions known for an ID (none: empty).
  const std::set<std::uint64_t>& positions_of(std::uint32_t id) const;
  bool knows(std::uint32_t id) const { return !positions_of(id).empty(); }
};

// Checks the header and maps the Segment. A DocType other than "matroska" or
// "webm" is exception_io_data with `Unsupported document type: "<DocType>"`.
void matroska_scan_file(matroska_file_scan& scan, ebml_reader& reader);

// Reads the one element with this ID (none or several known is
// exception_io_data) and answers the bytes it takes in the file.
std::uint64_t matroska_read_unique(const matroska_file_scan& scan, ebml_reader& reader,
                                   ebml_element_handler& handler, std::uint32_t id);
// Reads every element with this ID in file order with the same handler (at
// least one must be known) and answers their bytes together.
std::uint64_t matroska_read_all(const matroska_file_scan& scan, ebml_reader& reader,
                                ebml_element_handler& handler, std::uint32_t id);

// Whether the bytes at the reader begin an element of the Segment, or the
// Segment ends there: an element whose size is a few bytes off can still
// read whole, and this tells where it then ends.
bool matroska_at_segment_child(const matroska_file_scan& scan, ebml_reader& reader);

// Adds every Tags element in front of the Segment's first Cluster, as the
// readers that walk the Segment there find them, and those that a SeekHead
// met there names, which they read as well; those no SeekHead the scan
// followed names while one names another go into `second_tags`. A walk that
// meets damage stops there: readers read what it found.
void matroska_find_front_tags(matroska_file_scan& scan, ebml_reader& reader);

// Takes the entries of the SeekHead whose content the reader is scoped to;
// SeekHeads they name that were not known go into `new_seekheads` as well.
void matroska_read_seekhead(matroska_file_scan& scan, ebml_reader& reader,
                            std::set<std::uint64_t>* new_seekheads = nullptr);

}  // namespace Matroska
