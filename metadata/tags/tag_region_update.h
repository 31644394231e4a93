// Putting new tags at both ends of a file (a leading ID3v2 tag, trailing
// APEv2 and ID3v1 tags) so that a failure, a cancellation or a process
// killed at any moment leaves the file with either every old tag or every
// new one, and its audio untouched.
//
// The system puts a write down whole only while it lies within one aligned
// page. So a region changes in place only when its change is one such
// write: a leading tag of the same size whose changed bytes share a page; a
// trailing run of the same size likewise, one that grows by a write within
// one page that also lengthens the file (the footer readers look for is at
// the end at every moment), or one that is cut off whole. Both ends change
// in place only when each is one such write and a kill between them leaves
// a file that every reader reads as old or as new: an ID3v1 block whose
// change the leading tag that stands meanwhile hides. Everything else goes
// into the one temporary file, which one move commits; where no temporary
// file can be had, the write is refused before anything is written.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

struct tag_region_update {
  std::uint64_t leading_length = 0;  // of the old leading tags, from the file's start
  std::vector<std::uint8_t> leading;
  // The leading region for a file that is rewritten whole, when it is laid
  // out otherwise than `leading` (which keeps the old tag's room and order
  // for a change in place); empty when the same.
  std::vector<std::uint8_t> leading_for_rewrite;
  // The file's first leading_length bytes as they stand, when the caller
  // holds them: they are then not read again.
  const std::vector<std::uint8_t>* old_leading = nullptr;
  std::uint64_t trailing_start = 0;  // of the old trailing tags, which end with the file
  std::vector<std::uint8_t> trailing;
  // The trailing region for a file that is rewritten whole, as
  // leading_for_rewrite is for the leading one; used only where the
  // trailing region changes.
  std::vector<std::uint8_t> trailing_for_rewrite;
};

// exception_io_data when the regions overlap or lie outside the file;
// exception_no_safe_rewrite when the change cannot be made in place safely
// and `rewrite` gives no temporary file. When `rewrite` hands out a
// temporary file, the caller commits it. Afterwards `update.leading` and
// `update.trailing` hold the regions the file was given.
void apply_tag_region_update(vantrel_io::file_ptr& file, retag_temp_source& rewrite, tag_region_update& update,
                             const abort_signal& abort);
