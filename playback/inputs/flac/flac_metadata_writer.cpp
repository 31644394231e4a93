#include "playback/inputs/flac/flac_metadata_writer.h"

#include <FLAC/metadata.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io/whole_file_rewrite.h"
#include "metadata/tags/comment_entries.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_block_header.h"
#include "playback/inputs/flac/flac_comment_blocks.h"
#include "playback/inputs/flac/flac_metadata_head.h"
#include "playback/inputs/flac/flac_metadata_reading.h"

namespace {

constexpr std::uint32_t largest_block_length = 0xFFFFFF;

// Room left for the next edit when the file is rewritten anyway.
constexpr std::uint32_t rewrite_padding = 512;

struct block_deleter {
  void operator()(FLAC__StreamMetadata* block) const noexcept { FLAC__metadata_object_delete(block); }
};
using block_ptr = std::unique_ptr<FLAC__StreamMetadata, block_deleter>;

void append_block_header(std::vector<std::uint8_t>& out, std::uint8_t type, std::uint64_t length) {
  if (length > largest_block_length) vantrel_io::throw_io_data();
  out.push_back(type);
  out.push_back(std::uint8_t(length >> 16));
  out.push_back(std::uint8_t(length >> 8));
  out.push_back(std::uint8_t(length));
}

void append_padding(std::vector<std::uint8_t>& out, std::uint64_t total_size) {
  append_block_header(out, FLAC__METADATA_TYPE_PADDING, total_size - flac_block_header_size);
  out.resize(out.size() + std::size_t(total_size - flac_block_header_size), 0);
}

std::vector<std::uint8_t> comment_block(const comment_block_contents& contents) {
  vantrel_io::memory_writer body;
  comment_block_write_contents(contents, nullptr, 0, false, body, never_raised_abort_signal());
  std::vector<std::uint8_t> out;
  append_block_header(out, FLAC__METADATA_TYPE_VORBIS_COMMENT, body.get_size());
  out.insert(out.end(), body.get_ptr(), body.get_ptr() + body.get_size());
  return out;
}

// A file without a comment block gets libFLAC's vendor string, as an
// encoder would have written it.
std::string default_vendor() {
  const block_ptr block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
  if (!block) throw std::bad_alloc();
  return flac_comment_blocks_merged({&block->data.vorbis_comment}).vendor;
}

// Blocks that change as a text field is edited go last, so that such an
// edit touches a short range after the large blocks and fits in place next
// time. Pictures keep their order among themselves: programs show the first.
int layout_rank(std::uint8_t type) {
  switch (type) {
    case FLAC__METADATA_TYPE_STREAMINFO:
      return 0;
    case FLAC__METADATA_TYPE_PICTURE:
    case FLAC__METADATA_TYPE_APPLICATION:
      return 1;
    default:
      return 2;
  }
}

class writer {
public:
  explicit writer(const track_info& info) : info_(info) {}

  void write(vantrel_io::file_object& file, retag_temp_source& temp_source, flac_metadata_head& head,
             const abort_signal& abort);

private:
  bool keep_block(const FLAC__StreamMetadata& block) const;
  bool reader_shows_cuesheet(const FLAC__StreamMetadata_CueSheet& sheet) const;
  bool write_in_place(vantrel_io::file_object& file, const flac_metadata_head& head, std::size_t comment,
                      const std::vector<std::uint8_t>& comment_bytes, const abort_signal& abort) const;
  void write_rewritten(vantrel_io::file_object& file, retag_temp_source& temp_source, const flac_metadata_head& head,
                       const std::vector<bool>& kept, const std::vector<std::uint8_t>& comment_bytes,
                       const abort_signal& abort) const;

  const track_info& info_;
  std::uint64_t total_samples_ = 0;
  std::uint32_t sample_rate_ = 0;
};

// Whether reading the file offers the block as a "cuesheet" field; one it
// does not offer cannot have been removed by the user.
bool writer::reader_shows_cuesheet(const FLAC__StreamMetadata_CueSheet& sheet) const {
  try {
    return !flac_cuesheet_to_text(sheet, total_samples_, sample_rate_).empty();
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
}

bool writer::keep_block(const FLAC__StreamMetadata& block) const {
  switch (block.type) {
    case FLAC__METADATA_TYPE_PADDING:
    case FLAC__METADATA_TYPE_VORBIS_COMMENT:
      return false;
    case FLAC__METADATA_TYPE_CUESHEET:
      // A removed "cuesheet" field removes the block; an edited one is
      // written as a comment, which readers prefer to the block. A block the
      // reader could not show stays as it is.
      return info_.find_field("cuesheet") != track_info::not_found || !reader_shows_cuesheet(block.data.cue_sheet);
    default:
      return true;
  }
}

// The comment block is rewritten where it stands, the padding right behind
// it giving or taking the difference, when every byte that changes lies in
// one page: a process killed at any moment then leaves the old blocks or
// the new ones. False when that cannot be, with nothing written.
bool writer::write_in_place(vantrel_io::file_object& file, const flac_metadata_head& head, std::size_t comment,
                            const std::vector<std::uint8_t>& comment_bytes, const abort_signal& abort) const {
  std::size_t end = comment + 1;
  while (end < head.blocks.size() && (head.bytes[head.blocks[end].offset] & 0x7F) == FLAC__METADATA_TYPE_PADDING)
    ++end;
  const std::uint64_t start = head.blocks[comment].offset;
  const std::uint64_t stop = end < head.blocks.size() ? head.blocks[end].offset : head.audio_start;
  const std::uint64_t size = stop - start;
  if (comment_bytes.size() > size) return false;
  const std::uint64_t room = size - comment_bytes.size();
  if (room != 0 && (room < flac_block_header_size || room - flac_block_header_size > largest_block_length)) return false;

  std::vector<std::uint8_t> region = comment_bytes;
  std::size_t last_header = 0;
  if (room != 0) {
    last_header = region.size();
    append_padding(region, room);
  }
  if (end == head.blocks.size()) region[last_header] |= flac_last_block_flag;
  const std::uint8_t* old = head.bytes.data() + start;
  if (!vantrel_io::change_fits_one_write(start, old, region.data(), region.size())) return false;
  vantrel_io::overwrite_changed_bytes(file, start, old, region.data(), region.size(), abort);
  return true;
}

void writer::write_rewritten(vantrel_io::file_object& file, retag_temp_source& temp_source,
                             const flac_metadata_head& head, const std::vector<bool>& kept,
                             const std::vector<std::uint8_t>& comment_bytes, const abort_signal& abort) const {
  // Decided before the first byte: without a temporary file nothing is written.
  vantrel_io::whole_file_rewrite output(file, temp_source, abort);

  // A kept block is copied with exactly the bytes and length its header
  // states, whatever libFLAC made of its contents.
  std::vector<std::uint8_t> metadata{'f', 'L', 'a', 'C'};
  metadata.reserve(std::size_t(head.audio_start - head.marker) + comment_bytes.size() + rewrite_padding + 4);
  for (int rank = 0; rank <= 2; ++rank) {
    for (std::size_t i = 0; i < kept.size(); ++i) {
      const std::uint8_t* from = head.bytes.data() + head.blocks[i].offset;
      if (!kept[i] || layout_rank(from[0] & 0x7F) != rank) continue;
      const std::size_t header = metadata.size();
      metadata.insert(metadata.end(), from, from + flac_block_header_size + head.blocks[i].length);
      metadata[header] &= 0x7F;
    }
  }
  metadata.insert(metadata.end(), comment_bytes.begin(), comment_bytes.end());
  const std::size_t padding_header = metadata.size();
  append_padding(metadata, flac_block_header_size + rewrite_padding);
  metadata[padding_header] |= flac_last_block_flag;

  vantrel_io::file_object& temp = output.output();
  if (head.marker > 0) temp.write(head.bytes.data(), std::uint32_t(head.marker), abort);
  temp.write(metadata.data(), std::uint32_t(metadata.size()), abort);
  file.seek(head.audio_start, abort);
  vantrel_io::copy_bytes(file, temp, file.get_size(abort) - head.audio_start, abort);
  output.finish(abort);
}

void writer::write(vantrel_io::file_object& file, retag_temp_source& temp_source, flac_metadata_head& head,
                   const abort_signal& abort) {
  // libFLAC reads the blocks it keeps or replaces, and refuses damaged ones,
  // so a write never goes over what it could not understand.
  FLAC__Metadata_Chain* const chain = read_flac_metadata_chain(head);
  if (chain == nullptr) vantrel_io::throw_io_data();
  const flac_metadata_iterator_ptr iterator = flac_metadata_iterate(chain);
  std::vector<const FLAC__StreamMetadata*> blocks;
  do {
    const FLAC__StreamMetadata* block = FLAC__metadata_iterator_get_block(iterator.get());
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
      total_samples_ = block->data.stream_info.total_samples;
      sample_rate_ = block->data.stream_info.sample_rate;
    }
    blocks.push_back(block);
  } while (FLAC__metadata_iterator_next(iterator.get()));
  if (blocks.size() != head.blocks.size()) vantrel_io::throw_io_data();

  // libFLAC takes a comment block whose count or lengths claim more than it
  // holds for the entries before the damage, or for none, where the player
  // shows those entries: one block made of that reading would lose values
  // the player showed, or what stands behind the damage. Refused before the
  // edit is weighed: measured against libFLAC's reading, the removal of a
  // field the player showed from such a block would change nothing and
  // pass for done.
  for (const flac_metadata_head::block& block : head.blocks) {
    const std::uint8_t* header = head.bytes.data() + block.offset;
    if ((header[0] & 0x7F) == FLAC__METADATA_TYPE_VORBIS_COMMENT)
      comment_block_parse(header + flac_block_header_size, block.length);
  }

  // Only what differs from the file's own reading is written: the comments
  // of untouched fields keep their bytes and order, and an edit that changes
  // nothing writes nothing.
  track_info_impl as_read;
  flac_chain_to_info(chain, 0, as_read);
  const tag_changes changes = tag_changes::between(as_read, info_);
  if (changes.empty()) return;

  // Several comment blocks become one holding every field the reading
  // showed, so that no reader loses a value and a removal leaves no copy.
  std::size_t comment = blocks.size();
  std::vector<const FLAC__StreamMetadata_VorbisComment*> comment_blocks;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i]->type != FLAC__METADATA_TYPE_VORBIS_COMMENT) continue;
    comment = i;
    comment_blocks.push_back(&blocks[i]->data.vorbis_comment);
  }
  comment_block_contents contents = flac_comment_blocks_merged(comment_blocks);
  if (comment_blocks.empty()) contents.vendor = default_vendor();
  contents.entries = comment_entries_after(contents.entries, changes.all(), info_);
  const std::vector<std::uint8_t> comment_bytes = comment_block(contents);

  std::vector<bool> kept;
  bool every_other_block_kept = true;
  for (const FLAC__StreamMetadata* block : blocks) {
    kept.push_back(keep_block(*block));
    every_other_block_kept = every_other_block_kept && (kept.back() || block->type == FLAC__METADATA_TYPE_PADDING ||
                                                        block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT);
  }
  if (comment_blocks.size() == 1 && every_other_block_kept && write_in_place(file, head, comment, comment_bytes, abort))
    return;
  write_rewritten(file, temp_source, head, kept, comment_bytes, abort);
}

}  // namespace

namespace flac_metadata_writer {

void write(vantrel_io::file_object& file, retag_temp_source& temp_source, const track_info& info,
           const abort_signal& abort, flac_metadata_head* head) {
  if (head != nullptr) {
    writer(info).write(file, temp_source, *head, abort);
    return;
  }
  flac_metadata_head read_now = read_flac_metadata_head(file, abort);
  writer(info).write(file, temp_source, read_now, abort);
}

}  // namespace flac_metadata_writer
