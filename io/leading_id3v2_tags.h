// ID3v2 tags at the start of a file, as far as removing them goes: counting
// the run of tags and cutting it off, either by writing the rest of the file
// into a temporary file that then replaces the target, or in place.
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
// When `rewrite` gives a temporary file, the rest of the file is copied into
// it and the caller's commit puts it in place of the target: callers that know
// the file's path pass a retag_through_temp_file. Otherwise the rest is
// copied to a scratch file and back over the start of the file, which is cut
// only at the end; once the file starts to change, the copy no longer stops
// for the abort signal, as a half-moved file would be lost.
// The file must be able to seek (exception_io_object_not_seekable) and know
// its size (exception_io_no_length).
void id3v2_strip_leading_tags(vantrel_io::file_ptr& file, retag_temp_source& rewrite, std::uint64_t& leading_length,
                              const abort_signal& abort);

// Strips the leading tags in place; true when the file starts with a tag.
bool id3v2_remove_leading_tags(vantrel_io::file_ptr& file, const abort_signal& abort);
