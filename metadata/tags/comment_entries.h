// The entries of a Vorbis-comment block as stored ("NAME=value" bytes, in
// file order) and an edit of them that changes only what the edit changed:
// every entry of a field the edit leaves alone keeps its bytes and its
// place, so other programs read it as before and an edit that changes
// nothing leaves the block byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/io_exceptions.h"
#include "metadata/tags/tag_field_map.h"

class track_info;

struct comment_block_contents {
  std::string vendor;
  std::vector<std::string> entries;
};

// A block whose count or lengths claim more than it holds. Readers keep the
// entries before the damage, or none; an edit would write a block without
// what stands behind it, so it is refused instead.
class exception_comment_block_damaged : public vantrel_io::exception_io_data {
public:
  exception_comment_block_damaged()
      : vantrel_io::exception_io_data(vantrel_io::io_message(
            "exception_comment_block_damaged",
            "A comment block of the file is damaged and would be lost with this edit; the file was not changed")) {}
};

// The block after the codec's prefix (and before any framing byte); a
// damaged block is exception_comment_block_damaged. Bytes behind the last
// entry are no damage (some taggers leave a framing byte there).
comment_block_contents comment_block_parse(const void* block, std::uint32_t size);

// The prefix, the block and the framing byte when asked.
void comment_block_write_contents(const comment_block_contents& contents, const void* prefix,
                                  std::uint32_t prefix_size, bool framing, vantrel_io::writer& out,
                                  const abort_signal& abort);

// The entries after `changes` (tag_changes::all(): names as a track_info
// holds them, ReplayGain values under their "replaygain_*" names, no values
// where a field goes). A changed field's new values take the place of its
// first entry (every entry of its name, in either spelling of an aliased
// name, goes), written under its stored name in the case the edit gives
// it; a field the block did not hold follows the old entries, in
// `to_write`'s field order, ReplayGain values and other names after. The
// entries of unchanged fields, pictures and entries no reader shows stay
// as they are.
std::vector<std::string> comment_entries_after(const std::vector<std::string>& entries,
                                               const tag_field_map::entries& changes, const track_info& to_write);

// Entries above this size count as large; every picture counts as large.
inline constexpr std::size_t comment_large_entry_size = 1024;

// The order of a block written anew: the large entries in their order, then
// the others in theirs, so that a later edit of a text field changes only
// the short entries at the end of the block and the room behind it. Readers
// give the order of entries of different names no meaning. Answers the
// number of large entries.
std::size_t comment_entries_lay_out_for_rewrite(std::vector<std::string>& entries);
