// ID3v2 tags at the start of a file, as far as removing them goes: counting
// the run of tags and cutting it off by writing the rest of the file into a
// temporary file that then replaces the target.
//
// A tag header is "ID3", two version bytes, a flags byte whose low four bits
// are clear, and a size in four bytes of seven bits each (most significant
// first). The tag spans size + 10 bytes, 10 more with a footer (flag 0x10).
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

// The whole length of the tag whose ten header bytes are given, or 0 when
// they are no tag header.
std::uint64_t id3v2_tag_length(const std::uint8_t* header);

// Looks for a tag header at `offset`. Answers the tag's length and leaves the
// file just after the tag, or answers 0 and leaves it at `offset`.
std::uint64_t id3v2_skip_leading_tag(vantrel_io::file_object& file, std::uint64_t offset, const abort_signal& abort);

// Skips the tags that follow each other from the start of the file; answers
// how many there were, and their total length in `total_length`.
std::uint32_t id3v2_count_leading_tags(vantrel_io::file_object& file, std::uint64_t& total_length,
                                       const abort_signal& abort);

// Removes the leading tags; `leading_length` receives their total length
// (also when nothing was removed, as when the tags fill the whole file).
// The rest of the file is copied into the temporary file `rewrite` gives,
// and the caller's commit puts it in place of the target: callers that know
// the file's path pass a retag_through_temp_file. Without a temporary file
// the removal is refused (exception_no_safe_rewrite) with the file
// unchanged: moving the rest up in place would take many writes.
// The bytes kept end at `rest_end` (at the end of the file when beyond it):
// trailing tags behind it go in the same copy.
// The file must be able to seek (exception_io_object_not_seekable) and know
// its size (exception_io_no_length).
void id3v2_strip_leading_tags(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t& leading_length,
                              const abort_signal& abort, std::uint64_t rest_end = ~std::uint64_t(0));

// Strips the leading tags of a file with no temporary file to be had: only
// a file without them is left as it is, any other refused as above; true
// when the file starts with a tag.
bool id3v2_remove_leading_tags(vantrel_io::file_ptr& file, const abort_signal& abort);
