// Putting new tags at both ends of a file (a leading ID3v2 tag, trailing
// APEv2 and ID3v1 tags) so that a failure, a cancellation or a process
// killed at any moment leaves the file with either every old tag or every
// new one, and its audio untouched.
//
// A region is written in place only when that takes one write: a leading
// tag of the same size, a trailing run that keeps or grows its size (the
// write that lengthens the file also puts the new footer at its end). Both
// ends change in place only when a kill between their writes leaves a file
// that every reader reads as old or as new: an ID3v1 block whose change the
// leading tag that stands meanwhile hides. Any other change at both ends, a
// leading tag of another size or a trailing run that shrinks go into the one
// temporary file, which one move commits. Without a temporary file (a
// caller's file object with no path) the same changes are made in place as
// safely as the file allows.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

struct tag_region_update {
  std::uint64_t leading_length = 0;  // of the old leading tags, from the file's start
  std::vector<std::uint8_t> leading;
  // The file's first leading_length bytes as they stand, when the caller
  // holds them: they are then not read again.
  const std::vector<std::uint8_t>* old_leading = nullptr;
  std::uint64_t trailing_start = 0;  // of the old trailing tags, which end with the file
  std::vector<std::uint8_t> trailing;
};

// exception_io_data when the regions overlap or lie outside the file. When
// `rewrite` hands out a temporary file, the caller commits it.
void apply_tag_region_update(vantrel_io::file_ptr& file, retag_temp_source& rewrite, const tag_region_update& update,
                             const abort_signal& abort);
