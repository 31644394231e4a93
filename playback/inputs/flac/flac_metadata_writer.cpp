#include "playback/inputs/flac/flac_metadata_writer.h"

#include <FLAC/metadata.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "foundation/byte_compare.h"
#include "foundation/byte_order.h"
#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"
#include "io/temp_schemes.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/comment_block.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_metadata_head.h"
#include "playback/inputs/flac/flac_metadata_reading.h"

namespace {

struct block_deleter {
  void operator()(FLAC__StreamMetadata* block) const noexcept { FLAC__metadata_object_delete(block); }
};
using block_ptr = std::unique_ptr<FLAC__StreamMetadata, block_deleter>;

void set_comment(FLAC__StreamMetadata* block, std::uint32_t index, const std::string& name, const char* value) {
  std::string text = name;
  text += '=';
  text += value;
  FLAC__StreamMetadata_VorbisComment_Entry entry;
  entry.length = static_cast<FLAC__uint32>(text.size());
  entry.entry = reinterpret_cast<FLAC__byte*>(text.data());
  if (!FLAC__metadata_object_vorbiscomment_set_comment(block, index, entry, true)) vantrel_io::throw_io_data();
}

class writer {
public:
  explicit writer(const track_info& info) : info_(info) {}

  void write(vantrel_io::file_object& file, retag_temp_source& temp_source, flac_metadata_head& head,
             const abort_signal& abort);

private:
  bool keep_block(const FLAC__StreamMetadata& block);
  block_ptr make_comment_block();

  bool reader_shows_cuesheet(const FLAC__StreamMetadata_CueSheet& sheet);
  bool is_block_sheet_view(std::uint32_t field) const;

  track_info_impl info_;
  std::string old_vendor_;
  bool had_sheet_comment_ = false;
  std::string block_sheet_text_;
  std::uint64_t total_samples_ = 0;
  std::uint32_t sample_rate_ = 0;
};

// Whether reading the file offers the block as a "cuesheet" field; one it
// does not offer cannot have been removed by the user.
bool writer::reader_shows_cuesheet(const FLAC__StreamMetadata_CueSheet& sheet) {
  try {
    block_sheet_text_ = flac_cuesheet_to_text(sheet, total_samples_, sample_rate_);
  } catch (const vantrel_io::exception_io_data&) {
    block_sheet_text_.clear();
  }
  return !block_sheet_text_.empty();
}

// The "cuesheet" field that reading made from the block, where no comment
// held a sheet: it is the block's, and a comment of it would be a second
// sheet, poorer than the block, that other programs would read first.
bool writer::is_block_sheet_view(std::uint32_t field) const {
  return !had_sheet_comment_ && !block_sheet_text_.empty() &&
         qiv::stricmp_ascii_equal(info_.field_name(field), "cuesheet") && info_.field_value_count(field) == 1 &&
         block_sheet_text_ == info_.field_value(field, 0);
}

bool writer::keep_block(const FLAC__StreamMetadata& block) {
  if (block.type == FLAC__METADATA_TYPE_STREAMINFO) {
    total_samples_ = block.data.stream_info.total_samples;
    sample_rate_ = block.data.stream_info.sample_rate;
  }
  if (block.type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
    const FLAC__StreamMetadata_VorbisComment& comments = block.data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
      const char* text = reinterpret_cast<const char*>(comments.comments[i].entry);
      const std::size_t length = comments.comments[i].length;
      const void* equals = text ? std::memchr(text, '=', length) : nullptr;
      if (equals == nullptr) continue;
      const std::string name(text, static_cast<const char*>(equals) - text);
      if (qiv::stricmp_ascii_equal(name.c_str(), "cuesheet")) had_sheet_comment_ = true;
      if (!flac_metadata_writer::is_preserved_comment(name.c_str())) continue;
      info_.set_tech(name.data(), name.size(), static_cast<const char*>(equals) + 1, length - name.size() - 1);
    }
    const FLAC__StreamMetadata_VorbisComment_Entry& vendor = comments.vendor_string;
    old_vendor_.assign(vendor.entry ? reinterpret_cast<const char*>(vendor.entry) : "", vendor.entry ? vendor.length : 0);
    return false;
  }
  // A removed "cuesheet" field removes the block; an edited one is written
  // as a comment, which readers prefer to the block. A block the reader
  // could not show stays as it is.
  if (block.type == FLAC__METADATA_TYPE_CUESHEET) {
    const bool shown = reader_shows_cuesheet(block.data.cue_sheet);
    return info_.find_field("cuesheet") != track_info::not_found || !shown;
  }
  return true;
}

block_ptr writer::make_comment_block() {
  block_ptr block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
  if (!block) vantrel_io::throw_io_data();
  if (!old_vendor_.empty()) {
    FLAC__StreamMetadata_VorbisComment_Entry vendor;
    vendor.length = static_cast<FLAC__uint32>(old_vendor_.size());
    vendor.entry = reinterpret_cast<FLAC__byte*>(old_vendor_.data());
    if (!FLAC__format_vorbiscomment_entry_value_is_legal(vendor.entry, vendor.length) ||
        !FLAC__metadata_object_vorbiscomment_set_vendor_string(block.get(), vendor, true)) {
      vantrel_io::throw_io_data();
    }
  }
  const replaygain_info gain = info_.get_replaygain();
  struct named_value {
    const char* name;
    std::string text;
  } replaygain[4] = {{"replaygain_album_gain", {}}, {"replaygain_album_peak", {}},
                     {"replaygain_track_gain", {}}, {"replaygain_track_peak", {}}};
  const bool present[4] = {replaygain_format_gain(replaygain[0].text, gain.album_gain),
                           replaygain_format_peak(replaygain[1].text, gain.album_peak),
                           replaygain_format_gain(replaygain[2].text, gain.track_gain),
                           replaygain_format_peak(replaygain[3].text, gain.track_peak)};
  std::uint32_t count = info_.total_value_count();
  for (std::uint32_t f = 0; f < info_.field_count(); ++f)
    if (is_block_sheet_view(f)) count -= info_.field_value_count(f);
  for (bool is_present : present) count += is_present;
  for (std::uint32_t t = 0; t < info_.tech_count(); ++t)
    count += flac_metadata_writer::is_preserved_comment(info_.tech_name(t));
  if (!FLAC__metadata_object_vorbiscomment_resize_comments(block.get(), count)) vantrel_io::throw_io_data();

  std::uint32_t index = 0;
  for (std::uint32_t f = 0; f < info_.field_count(); ++f) {
    if (is_block_sheet_view(f)) continue;
    const std::string name = comment_name_for_storage(info_.field_name(f));
    for (std::uint32_t v = 0; v < info_.field_value_count(f); ++v) set_comment(block.get(), index++, name, info_.field_value(f, v));
  }
  for (int i = 0; i < 4; ++i) {
    if (present[i]) set_comment(block.get(), index++, replaygain[i].name, replaygain[i].text.c_str());
  }
  for (std::uint32_t t = 0; t < info_.tech_count(); ++t) {
    if (flac_metadata_writer::is_preserved_comment(info_.tech_name(t)))
      set_comment(block.get(), index++, info_.tech_name(t), info_.tech_value(t));
  }
  return block;
}

void append_block_header(std::vector<std::uint8_t>& out, std::uint8_t type, std::uint64_t length) {
  if (length > 0xFFFFFF) vantrel_io::throw_io_data();
  out.push_back(type);
  out.push_back(std::uint8_t(length >> 16));
  out.push_back(std::uint8_t(length >> 8));
  out.push_back(std::uint8_t(length));
}

void append_le32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  qiv::store_le(bytes, value, 4);
  out.insert(out.end(), bytes, bytes + 4);
}

std::vector<std::uint8_t> comment_block_bytes(const FLAC__StreamMetadata& block) {
  const FLAC__StreamMetadata_VorbisComment& comments = block.data.vorbis_comment;
  std::vector<std::uint8_t> body;
  const FLAC__StreamMetadata_VorbisComment_Entry& vendor = comments.vendor_string;
  append_le32(body, vendor.entry ? vendor.length : 0);
  if (vendor.entry) body.insert(body.end(), vendor.entry, vendor.entry + vendor.length);
  append_le32(body, comments.num_comments);
  for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
    append_le32(body, comments.comments[i].length);
    body.insert(body.end(), comments.comments[i].entry, comments.comments[i].entry + comments.comments[i].length);
  }
  std::vector<std::uint8_t> out;
  append_block_header(out, FLAC__METADATA_TYPE_VORBIS_COMMENT, body.size());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Room left for the next edit when the file is rewritten anyway.
constexpr std::uint32_t rewrite_padding = 512;

void writer::write(vantrel_io::file_object& file, retag_temp_source& temp_source, flac_metadata_head& head,
                   const abort_signal& abort) {
  // libFLAC reads the blocks it keeps or replaces, and refuses damaged ones,
  // so a write never goes over what it could not understand.
  FLAC__Metadata_Chain* const chain = read_flac_metadata_chain(head);
  if (chain == nullptr) vantrel_io::throw_io_data();
  const flac_metadata_iterator_ptr iterator = flac_metadata_iterate(chain);
  std::vector<bool> kept;
  do {
    const FLAC__StreamMetadata& block = *FLAC__metadata_iterator_get_block(iterator.get());
    kept.push_back(block.type != FLAC__METADATA_TYPE_PADDING && keep_block(block));
  } while (FLAC__metadata_iterator_next(iterator.get()));
  if (kept.size() != head.blocks.size()) vantrel_io::throw_io_data();

  // The new metadata, "fLaC" to the first audio frame, built whole in memory.
  // A kept block is copied with exactly the bytes and length its header
  // states, whatever libFLAC made of its contents.
  std::vector<std::uint8_t> metadata{'f', 'L', 'a', 'C'};
  metadata.reserve(std::size_t(head.audio_start - head.marker) + rewrite_padding + 4096);
  std::size_t last_header = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (!kept[i]) continue;
    const flac_metadata_head::block& raw = head.blocks[i];
    const std::uint8_t* from = head.bytes.data() + raw.offset;
    last_header = metadata.size();
    metadata.insert(metadata.end(), from, from + 4 + raw.length);
    metadata[last_header] &= 0x7F;
  }
  const block_ptr comments = make_comment_block();
  last_header = metadata.size();
  const std::vector<std::uint8_t> comment_bytes = comment_block_bytes(*comments);
  metadata.insert(metadata.end(), comment_bytes.begin(), comment_bytes.end());

  const std::uint64_t old_size = head.audio_start - head.marker;
  const std::uint64_t room = old_size >= metadata.size() ? old_size - metadata.size() : 0;
  const bool fits = metadata.size() == old_size || (old_size > metadata.size() && room >= 4 && room - 4 <= 0xFFFFFF);
  if (fits) {
    if (room > 0) {
      last_header = metadata.size();
      append_block_header(metadata, FLAC__METADATA_TYPE_PADDING, room - 4);
      metadata.resize(std::size_t(old_size), 0);
    }
    metadata[last_header] |= 0x80;
    // Every block length and the audio offset stay consistent at each
    // moment only if the changed span goes to disk in one write.
    vantrel_io::overwrite_changed_bytes(file, head.marker, head.bytes.data() + head.marker, metadata.data(),
                                        metadata.size(), abort);
    return;
  }
  last_header = metadata.size();
  append_block_header(metadata, FLAC__METADATA_TYPE_PADDING, rewrite_padding);
  metadata.resize(metadata.size() + rewrite_padding, 0);
  metadata[last_header] |= 0x80;

  vantrel_io::file_ptr temp;
  const bool committed_by_source = temp_source.open_temp(temp, abort);
  if (!committed_by_source) vantrel_io::open_temp_file(temp, abort);
  if (head.marker > 0) temp->write(head.bytes.data(), std::uint32_t(head.marker), abort);
  temp->write(metadata.data(), std::uint32_t(metadata.size()), abort);
  file.seek(head.audio_start, abort);
  vantrel_io::copy_bytes(file, *temp, file.get_size(abort) - head.audio_start, abort);
  if (!committed_by_source) vantrel_io::copy_whole_file(*temp, file, abort);
}

}  // namespace

namespace flac_metadata_writer {

bool is_preserved_comment(const char* name) { return qiv::stricmp_ascii_equal(name, flac_channel_mask_comment); }

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
