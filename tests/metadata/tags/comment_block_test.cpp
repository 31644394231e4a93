#include "metadata/tags/comment_block.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "foundation/byte_compare.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "metadata/track_info.h"

namespace {

std::string u32(std::uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string entry(const std::string& text) { return u32(std::uint32_t(text.size())) + text; }

std::string bytes_written(const vantrel_io::memory_writer& writer) {
  return std::string(reinterpret_cast<const char*>(writer.get_ptr()), writer.get_size());
}

track_info_impl sample_info() {
  track_info_impl info;
  info.set_field("ARTIST", 6, "A1", 2);
  info.add_field_value(info.find_field("ARTIST"), "A2");
  info.set_field("album artist", 12, "AA", 2);
  info.set_field("TITLE", 5, "T", 1);
  replaygain_info gain;
  gain.track_gain = -3.5f;
  gain.album_peak = 0.5f;
  info.set_replaygain(gain);
  return info;
}

TEST(CommentBlock, WritesFieldsUnderStoredNamesThenReplayGainInFixedOrder) {
  vantrel_io::memory_writer writer;
  comment_block_write("vendor", sample_info(), "\x03vorbis", 7, writer, true, never_raised_abort_signal());
  EXPECT_EQ(bytes_written(writer), "\x03vorbis" + entry("vendor") + u32(6) + entry("ARTIST=A1") + entry("ARTIST=A2") +
                               entry("ALBUMARTIST=AA") + entry("TITLE=T") + entry("replaygain_album_peak=0.500000") +
                               entry("replaygain_track_gain=-3.50 dB") + "\x01");
}

TEST(CommentBlock, FieldNameAliasesTranslateBothWays) {
  const char* pairs[][2] = {{"publisher", "ORGANIZATION"},
                            {"Album Artist", "ALBUMARTIST"},
                            {"TOTALTRACKS", "TRACKTOTAL"},
                            {"totaldiscs", "DISCTOTAL"}};
  for (const auto& p : pairs) {
    EXPECT_STREQ(comment_name_for_storage(p[0]), p[1]);
    EXPECT_TRUE(qiv::stricmp_ascii_equal(comment_name_from_storage(p[1]), p[0]));
  }
  EXPECT_STREQ(comment_name_for_storage("Title"), "Title");
  EXPECT_STREQ(comment_name_from_storage("albumartist"), "ALBUM ARTIST");
}

TEST(CommentBlock, RebuildKeepsVendorPicturesAndUnreadEntriesAfterTheNewFields) {
  const std::string picture = "METADATA_BLOCK_PICTURE=AAAA";
  const std::string not_utf8("ARTIST=\xC3", 8);
  const std::string old_block = std::string("OpusTags") + entry("old vendor") + u32(8) + entry("ARTIST=old") +
                                entry(picture) + entry("no equals sign") + entry(not_utf8) + entry("=no name") +
                                entry("TIT\xC3\x8DLE=x") + entry("title=\xC3") + entry("coverart=BBBB");
  track_info_impl info;
  info.set_field("TITLE", 5, "new", 3);
  info.set_field("COVERART", 8, "from info", track_info::until_nul);  // pictures only come from the old block
  vantrel_io::memory_writer writer;
  comment_block_rebuild(old_block.data(), std::uint32_t(old_block.size()), info, "OpusTags", 8, false, writer,
                        never_raised_abort_signal());
  // Entries no reading takes for a field stay, but for those of a field the
  // info writes: its new values stand for it.
  EXPECT_EQ(bytes_written(writer), "OpusTags" + entry("old vendor") + u32(7) + entry("TITLE=new") + entry(picture) +
                               entry("no equals sign") + entry(not_utf8) + entry("=no name") +
                               entry("TIT\xC3\x8DLE=x") + entry("coverart=BBBB"));

  // A length past the end of the old block: a damaged file, nothing written.
  const std::string damaged = std::string("OpusTags") + entry("v") + u32(1) + u32(1000) + "short";
  vantrel_io::memory_writer untouched;
  EXPECT_THROW(comment_block_rebuild(damaged.data(), std::uint32_t(damaged.size()), info, "OpusTags", 8, false,
                                     untouched, never_raised_abort_signal()),
               vantrel_io::exception_io_data);
  EXPECT_EQ(untouched.get_size(), 0u);
}

TEST(CommentBlock, PaddingKeepsTheOldSizeWhenItCan) {
  struct pad_case {
    std::uint32_t size, old_size, padded;
  } cases[] = {
      {900, 1000, 1000},           // shrank: padded back to the old size
      {1000, 1000, 1000},          // same size: nothing added
      {1010, 1000, 1010 + 2048},   // grew: room for the next edit
      {100, 100 + 16384, 100 + 16384},
      {100, 100 + 16385, 100 + 2048},  // shrank too much to be worth keeping
  };
  for (const auto& c : cases) {
    qiv::array<std::uint8_t> block;
    block.set_size(c.size);
    std::memset(block.data(), 0xAA, c.size);
    comment_pad(block, c.old_size);
    EXPECT_EQ(block.get_count(), c.padded) << c.size << " " << c.old_size;
    if (block.get_count() > c.size) {
      EXPECT_EQ(block[block.get_count() - 1], 0);
    }
  }
}

}  // namespace
