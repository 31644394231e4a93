// The VORBIS_COMMENT blocks of one stream read as one. The format allows a
// single block, yet files with two are met (a common shape is an empty block
// before a full one). Other readers take the first block's value of a field
// that two blocks hold; so does this reading, and it takes every field that
// any block holds, so an empty or cut-short block hides nothing.
#pragma once

#include <FLAC/format.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "foundation/byte_compare.h"
#include "metadata/tags/comment_entries.h"
#include "metadata/tags/vorbis_comment_map.h"

class track_info;

// Which entries of each block in turn the reading takes: every entry of the
// first block that holds a field, none of a later block's of that field.
// A field is an entry's name as read ("ALBUMARTIST" and "ALBUM ARTIST" are
// one), ASCII case folded; entries that name none (not UTF-8, no "=") are
// always taken.
class flac_first_block_fields {
public:
  bool takes(const char* entry, std::size_t length);
  // The same for an entry that has a name, given as stored.
  bool takes_name(const std::string& stored_name);
  // The block ends: its fields hide those of the blocks that follow.
  void end_block();
  void clear() noexcept;

private:
  struct ascii_nocase_less {
    bool operator()(const std::string& a, const std::string& b) const {
      return qiv::stricmp_ascii_n(a.data(), a.size(), b.data(), b.size()) < 0;
    }
  };
  std::set<std::string, ascii_nocase_less> earlier_;
  std::vector<std::string> current_;
};

class flac_comment_reading {
public:
  // Reads one block's entries: ReplayGain values and the channel-mask
  // comment into `info` at once (when given), the fields until finish.
  void add_block(const FLAC__StreamMetadata_VorbisComment& comments, track_info* info);
  // After the last block: the fields read replace every field of `info`,
  // and the first non-empty vendor string becomes its entry "tool". Without
  // any block the info is left as it is.
  void finish(track_info& info);
  // The speaker mask named by the first block that holds a channel-mask
  // comment of the form 0x<hex>; 0 when none does or it does not parse.
  std::uint32_t channel_mask() const noexcept { return channel_mask_; }
  // Ready for another stream.
  void clear() noexcept;

private:
  flac_first_block_fields taken_;
  vorbis_comment_map fields_;
  std::string vendor_;
  bool any_block_ = false;
  std::uint32_t channel_mask_ = 0;
};

// The one block an edit writes in place of them all, before the edit: the
// first non-empty vendor string and the entries the reading takes, in
// block order, each as stored.
comment_block_contents flac_comment_blocks_merged(
    const std::vector<const FLAC__StreamMetadata_VorbisComment*>& blocks);
