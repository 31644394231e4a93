// Several VORBIS_COMMENT blocks read as one: the first block's value where
// two hold a field, every field any block holds, and the one block an edit
// starts from.
#include "playback/inputs/flac/flac_comment_blocks.h"

#include <FLAC/metadata.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "metadata/track_info.h"

namespace {

struct block_deleter {
  void operator()(FLAC__StreamMetadata* block) const noexcept { FLAC__metadata_object_delete(block); }
};
using block_ptr = std::unique_ptr<FLAC__StreamMetadata, block_deleter>;

block_ptr comment_block(const std::string& vendor, const std::vector<std::string>& entries) {
  block_ptr block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
  FLAC__StreamMetadata_VorbisComment_Entry text{FLAC__uint32(vendor.size()),
                                                reinterpret_cast<FLAC__byte*>(const_cast<char*>(vendor.data()))};
  FLAC__metadata_object_vorbiscomment_set_vendor_string(block.get(), text, true);
  // Set byte for byte: libFLAC's own setters refuse entries other programs
  // still write (no "=", not UTF-8).
  FLAC__metadata_object_vorbiscomment_resize_comments(block.get(), FLAC__uint32(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto* bytes = static_cast<FLAC__byte*>(std::malloc(entries[i].size() + 1));
    std::memcpy(bytes, entries[i].data(), entries[i].size());
    bytes[entries[i].size()] = 0;
    block->data.vorbis_comment.comments[i] = {FLAC__uint32(entries[i].size()), bytes};
  }
  return block;
}

track_info_impl read_blocks(const std::vector<block_ptr>& blocks) {
  track_info_impl info;
  flac_comment_reading reading;
  for (const block_ptr& block : blocks) reading.add_block(block->data.vorbis_comment, &info);
  reading.finish(info);
  return info;
}

std::vector<std::string> values(const track_info& info, const char* field) {
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < info.value_count(field); ++i) out.push_back(info.value(field, i));
  return out;
}

std::string tech(const track_info& info, const char* name) {
  const std::optional<const char*> value = info.tech_value_by_name(name);
  return value ? *value : "";
}

TEST(FlacCommentBlocks, TheFirstBlockHoldingAFieldGivesAllItsValuesAndEveryOtherFieldIsShown) {
  std::vector<block_ptr> blocks;
  blocks.push_back(comment_block("first vendor",
                                 {"TITLE=First title", "ARTIST=First artist", "ALBUMARTIST=Band",
                                  "REPLAYGAIN_TRACK_GAIN=-3.00 dB", "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3"}));
  blocks.push_back(comment_block("second vendor", {"title=Second title", "Title=Third title", "ALBUM=Second album",
                                                   "ALBUM ARTIST=Other band", "replaygain_track_gain=+5.00 dB",
                                                   "replaygain_album_gain=+1.00 dB", "ARTIST=Second artist",
                                                   "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x60F"}));
  const track_info_impl info = read_blocks(blocks);
  EXPECT_EQ(values(info, "title"), std::vector<std::string>{"First title"});
  EXPECT_EQ(values(info, "artist"), std::vector<std::string>{"First artist"});
  EXPECT_EQ(values(info, "album artist"), std::vector<std::string>{"Band"}) << "one field in either spelling";
  EXPECT_EQ(values(info, "album"), std::vector<std::string>{"Second album"});
  EXPECT_FLOAT_EQ(info.get_replaygain().track_gain, -3.0f);
  EXPECT_FLOAT_EQ(info.get_replaygain().album_gain, 1.0f);
  EXPECT_EQ(tech(info, "tool"), "first vendor");
  EXPECT_EQ(tech(info, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK"), "0x3");

  flac_comment_reading mask_only;
  for (const block_ptr& block : blocks) mask_only.add_block(block->data.vorbis_comment, nullptr);
  EXPECT_EQ(mask_only.channel_mask(), 0x3u) << "a later block without the mask leaves it, one with it does not win";
}

TEST(FlacCommentBlocks, AnEmptyFirstBlockHidesNothing) {
  std::vector<block_ptr> blocks;
  blocks.push_back(comment_block("", {}));
  blocks.push_back(comment_block("encoder", {"TITLE=Hidden title", "ARTIST=a", "ARTIST=b"}));
  const track_info_impl info = read_blocks(blocks);
  EXPECT_EQ(values(info, "title"), std::vector<std::string>{"Hidden title"});
  EXPECT_EQ(values(info, "artist"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(tech(info, "tool"), "encoder");

  std::vector<const FLAC__StreamMetadata_VorbisComment*> raw;
  for (const block_ptr& block : blocks) raw.push_back(&block->data.vorbis_comment);
  const comment_block_contents merged = flac_comment_blocks_merged(raw);
  EXPECT_EQ(merged.vendor, "encoder");
  EXPECT_EQ(merged.entries, (std::vector<std::string>{"TITLE=Hidden title", "ARTIST=a", "ARTIST=b"}));
}

TEST(FlacCommentBlocks, TheMergedBlockKeepsWhatTheReadingShowsAndEntriesThatAreNoField) {
  const std::string not_utf8 = "COMMENT=\xFF\xFE";
  std::vector<block_ptr> blocks;
  blocks.push_back(comment_block("first", {"TITLE=First title", "no equals sign", "ARTIST=First artist"}));
  blocks.push_back(comment_block("second", {"TITLE=Second title", "ALBUM=Second album", not_utf8,
                                            "no equals sign", "artist=Second artist", "ALBUM=Another album"}));
  std::vector<const FLAC__StreamMetadata_VorbisComment*> raw;
  for (const block_ptr& block : blocks) raw.push_back(&block->data.vorbis_comment);
  const comment_block_contents merged = flac_comment_blocks_merged(raw);
  EXPECT_EQ(merged.vendor, "first");
  EXPECT_EQ(merged.entries, (std::vector<std::string>{"TITLE=First title", "no equals sign", "ARTIST=First artist",
                                                      "ALBUM=Second album", not_utf8, "no equals sign",
                                                      "ALBUM=Another album"}));
}

}  // namespace
