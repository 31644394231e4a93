// What a Tags element the player writes says of the Tags elements it takes
// the place of. A write puts its new element down first and turns the old
// ones into Void after it, each in a write of its own where they lie apart:
// a stop in between leaves old elements in front of the Clusters that no
// SeekHead names, as another program's second element stands. The new
// element lists them in a Void closing its content (every reader skips a
// Void's content, wherever it stands): each by its position, its size and a
// checksum of its bytes. So what a stopped write left is told from another
// program's element exactly: a listed element was taken into the one that
// lists it, is never read again, and the next write turns it into Void; any
// other element is read and merged.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_file_scan.h"

namespace Matroska {

// The Void that closes the content of a new Tags element taking the place
// of the Tags elements at `positions`; nothing for none.
std::vector<std::uint8_t> matroska_superseded_tags_list(const matroska_file_scan& scan, ebml_reader& reader,
                                                        const std::set<std::uint64_t>& positions);

// Moves each of the scan's second Tags elements that a named Tags element
// lists as taken in into its stale ones.
void matroska_tags_find_stale(matroska_file_scan& scan, ebml_reader& reader);

}  // namespace Matroska
