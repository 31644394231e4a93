#include "playback/inputs/flac/flac_comment_blocks.h"

#include <cstring>
#include <string_view>

#include "foundation/byte_compare.h"
#include "foundation/number_readers.h"
#include "foundation/utf8.h"
#include "metadata/tags/comment_block.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_metadata_reading.h"

namespace {

struct comment_entry {
  std::string name;
  std::string_view value;
};

// False for an entry that is not UTF-8 or has no "=".
bool split_entry(const char* text, std::size_t length, comment_entry& out) {
  if (text == nullptr || !qiv::is_valid_utf8(text, length)) return false;
  const void* equals = std::memchr(text, '=', length);
  if (equals == nullptr) return false;
  const std::size_t name_length = static_cast<const char*>(equals) - text;
  out.name.assign(text, name_length);
  out.value = std::string_view(text + name_length + 1, length - name_length - 1);
  return true;
}

const char* text_of(const FLAC__StreamMetadata_VorbisComment_Entry& entry) {
  return reinterpret_cast<const char*>(entry.entry);
}

std::string entry_text(const FLAC__StreamMetadata_VorbisComment_Entry& entry) {
  return entry.entry ? std::string(text_of(entry), entry.length) : std::string();
}

bool is_channel_mask_name(const std::string& name) {
  return qiv::stricmp_ascii_equal(name.c_str(), flac_channel_mask_comment);
}

// The mask of a comment value 0x<hex>; false for another form, and 0 for
// one that does not parse: a bad mask must not make the file unplayable.
bool parse_channel_mask(std::string_view value, std::uint32_t& mask) {
  if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return false;
  try {
    mask = qiv::parse_hex_u32(value.data() + 2, value.size() - 2);
  } catch (...) {
    mask = 0;
  }
  return true;
}

}  // namespace

bool flac_first_block_fields::takes(const char* entry, std::size_t length) {
  comment_entry split;
  return !split_entry(entry, length, split) || takes_name(split.name);
}

bool flac_first_block_fields::takes_name(const std::string& stored_name) {
  std::string field = comment_name_from_storage(stored_name.c_str());
  if (earlier_.count(field) != 0) return false;
  current_.push_back(std::move(field));
  return true;
}

void flac_first_block_fields::end_block() {
  for (std::string& field : current_) earlier_.insert(std::move(field));
  current_.clear();
}

void flac_first_block_fields::clear() noexcept {
  earlier_.clear();
  current_.clear();
}

void flac_comment_reading::clear() noexcept {
  taken_.clear();
  fields_.clear();
  vendor_.clear();
  any_block_ = false;
  channel_mask_ = 0;
}

void flac_comment_reading::add_block(const FLAC__StreamMetadata_VorbisComment& comments, track_info* info) {
  any_block_ = true;
  comment_entry entry;
  for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
    const FLAC__StreamMetadata_VorbisComment_Entry& stored = comments.comments[i];
    if (!split_entry(text_of(stored), stored.length, entry) || !taken_.takes_name(entry.name)) continue;
    if (is_channel_mask_name(entry.name)) {
      parse_channel_mask(entry.value, channel_mask_);
      if (info) info->set_tech(entry.name.data(), entry.name.size(), entry.value.data(), entry.value.size());
      continue;
    }
    const char* name = comment_name_from_storage(entry.name.c_str());
    if (info && info->try_set_replaygain(name, entry.value.data(), entry.value.size())) continue;
    if (info) fields_.add_value(name, entry.value.data(), entry.value.size());
  }
  taken_.end_block();
  if (vendor_.empty()) vendor_ = entry_text(comments.vendor_string);
}

void flac_comment_reading::finish(track_info& info) {
  if (!any_block_) return;
  fields_.canonicalize();
  fields_.apply_to_info(info);
  fields_.clear();
  if (!vendor_.empty()) info.set_tech("tool", track_info::until_nul, vendor_.data(), vendor_.size());
}

comment_block_contents flac_comment_blocks_merged(
    const std::vector<const FLAC__StreamMetadata_VorbisComment*>& blocks) {
  comment_block_contents merged;
  flac_first_block_fields taken;
  for (const FLAC__StreamMetadata_VorbisComment* block : blocks) {
    for (FLAC__uint32 i = 0; i < block->num_comments; ++i) {
      const FLAC__StreamMetadata_VorbisComment_Entry& stored = block->comments[i];
      if (taken.takes(text_of(stored), stored.length)) merged.entries.push_back(entry_text(stored));
    }
    taken.end_block();
    if (merged.vendor.empty()) merged.vendor = entry_text(block->vendor_string);
  }
  return merged;
}
