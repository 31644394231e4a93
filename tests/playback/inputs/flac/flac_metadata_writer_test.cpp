// The FLAC tag writer's choice between one write in place and a whole new
// file, the layout of a rewritten file, and edits that change nothing.
#include "playback/inputs/flac/flac_metadata_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/memory_file.h"
#include "io/memory_writer.h"
#include "metadata/tags/comment_entries.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_metadata_head.h"
#include "playback/inputs/flac/flac_metadata_reading.h"
#include "tests/io/model_file.h"

namespace {

std::string be(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(char(value >> (8 * i)));
  return out;
}

std::string block(int type, const std::string& body) { return char(type) + be(body.size(), 3) + body; }

std::string stream_info() {
  // 4096-sample blocks, 44100 Hz, 2 channels, 16 bits, 44100 samples, no MD5.
  const std::uint64_t packed = (std::uint64_t(44100) << 44) | (std::uint64_t(1) << 41) | (std::uint64_t(15) << 36) | 44100;
  return block(0, be(4096, 2) + be(4096, 2) + be(0, 3) + be(0, 3) + be(packed, 8) + std::string(16, '\0'));
}

std::string comments(const std::vector<std::string>& entries) {
  vantrel_io::memory_writer out;
  comment_block_write_contents({"vendor", entries}, nullptr, 0, false, out, never_raised_abort_signal());
  return block(4, std::string(reinterpret_cast<const char*>(out.get_ptr()), out.get_size()));
}

std::string picture(int type, std::size_t size, char fill) {
  return block(6, be(type, 4) + be(9, 4) + "image/png" + be(0, 4) + be(0, 16) + be(size, 4) + std::string(size, fill));
}

std::string padding(std::size_t size) { return block(1, std::string(size, '\0')); }

const std::string audio = "\xFF\xF8" + std::string(3000, 'a');

// "fLaC", the blocks with the last one flagged, then the audio.
std::string flac_file(std::vector<std::string> blocks) {
  blocks.back()[0] = char(blocks.back()[0] | 0x80);
  std::string out = "fLaC";
  for (const std::string& b : blocks) out += b;
  return out + audio;
}

std::vector<int> written_block_types(const std::string& bytes) {
  std::vector<int> types;
  for (std::size_t at = 4; at + 4 <= bytes.size();) {
    types.push_back(bytes[at] & 0x7F);
    if (bytes[at] & 0x80) break;
    at += 4 + ((std::size_t(std::uint8_t(bytes[at + 1])) << 16) | (std::size_t(std::uint8_t(bytes[at + 2])) << 8) |
               std::uint8_t(bytes[at + 3]));
  }
  return types;
}

track_info_impl read_info(const std::string& bytes) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  file->write(bytes.data(), std::uint32_t(bytes.size()), never_raised_abort_signal());
  flac_metadata_head head = read_flac_metadata_head(*file, never_raised_abort_signal());
  track_info_impl info;
  flac_chain_to_info(read_flac_metadata_chain(head), 0, info);
  return info;
}

struct write_result {
  std::string file;  // the file's bytes afterwards
  int writes = 0;
  int temp_asked = 0;
  std::string temp;  // the temporary file's bytes, when one was given
};

write_result write_title(const std::string& original, const std::string& title, bool temp_offered = true) {
  auto model = io_test::make_model_file(original);
  write_result result;
  model->before_write = [&](std::uint32_t) { ++result.writes; };
  track_info_impl info = read_info(original);
  info.set_field("TITLE", 5, title.data(), title.size());
  io_test::model_temp_source source(temp_offered);
  flac_metadata_writer::write(*model, source, info, never_raised_abort_signal());
  result.file = model->bytes;
  result.temp_asked = source.asked;
  if (source.made) result.temp = source.made->bytes;
  return result;
}

// The comment block starts `before_page` bytes before the end of the first
// page, its TITLE value lies wholly in the second page, and padding follows.
std::string comment_across_pages(std::size_t before_page) {
  const std::size_t head_size = 4 + stream_info().size();
  const std::size_t picture_size = 4096 - before_page - head_size - picture(3, 0, 'p').size();
  return flac_file({stream_info(), picture(3, picture_size, 'p'),
                    comments({"ARTIST=" + std::string(100, 'a'), "TITLE=old title", "ZZ=kept"}), padding(400)});
}

TEST(FlacMetadataWriter, AChangeWithinOnePageIsOneWriteInPlace) {
  const std::string original = comment_across_pages(20);
  const write_result same_length = write_title(original, "new title");
  EXPECT_EQ(same_length.temp_asked, 0);
  EXPECT_EQ(same_length.writes, 1);
  ASSERT_EQ(same_length.file.size(), original.size());
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < original.size(); ++i)
    if (original[i] != same_length.file[i]) changed.push_back(i);
  ASSERT_FALSE(changed.empty());
  EXPECT_EQ(changed.front() / 4096, changed.back() / 4096) << "every changed byte lies in one page";
  EXPECT_LT(same_length.file.find("TITLE=new title"), same_length.file.find("ZZ=kept"));
}

TEST(FlacMetadataWriter, AChangeAcrossAPageBoundaryGoesThroughTheTemporaryFile) {
  const std::string original = comment_across_pages(20);
  // A longer title changes the block's length (first page) and moves the
  // padding's header (second page).
  const write_result longer = write_title(original, "a longer new title");
  EXPECT_EQ(longer.temp_asked, 1);
  EXPECT_EQ(longer.writes, 0) << "the file itself is left to the move";
  EXPECT_EQ(longer.file, original);
  qiv::string_buffer title;
  ASSERT_TRUE(read_info(longer.temp).get_field_text("title", title));
  EXPECT_STREQ(title.get_ptr(), "a longer new title");
  EXPECT_EQ(longer.temp.substr(longer.temp.size() - audio.size()), audio);

  // Without a temporary file, a file on disk is refused before any write.
  auto model = io_test::make_model_file(original);
  int writes = 0;
  model->before_write = [&](std::uint32_t) { ++writes; };
  track_info_impl info = read_info(original);
  info.set_field("TITLE", 5, "a longer new title", 18);
  io_test::model_temp_source none(false);
  EXPECT_THROW(flac_metadata_writer::write(*model, none, info, never_raised_abort_signal()), exception_no_safe_rewrite);
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(model->bytes, original);
}

TEST(FlacMetadataWriter, ARewriteLaysOutLargeBlocksFirstAndPaddingLast) {
  const std::string original = flac_file({stream_info(), block(3, std::string(18, '\0')), comments({"TITLE=t"}),
                                          picture(4, 5000, 'b'), block(2, "appl" + std::string(3000, 'x')),
                                          picture(3, 6000, 'f')});
  const write_result grown = write_title(original, "a title that no longer fits");
  ASSERT_EQ(grown.temp_asked, 1);
  EXPECT_EQ(written_block_types(grown.temp), (std::vector<int>{0, 6, 2, 6, 3, 4, 1}));
  const std::size_t back = grown.temp.find(std::string(5000, 'b')), front = grown.temp.find(std::string(6000, 'f'));
  EXPECT_LT(back, front) << "pictures keep their order among themselves";

  // The next edit of a text field then stays in place.
  const write_result next = write_title(grown.temp, "short");
  EXPECT_EQ(next.temp_asked, 0);
  EXPECT_EQ(next.writes, 1);
}

TEST(FlacMetadataWriter, AnEditThatChangesNoValueWritesNothing) {
  const std::string original =
      flac_file({stream_info(), comments({"Zeta=z", "ARTIST=a", "title=t", "ARTIST=b"}), padding(100)});
  auto model = io_test::make_model_file(original);
  int writes = 0;
  model->before_write = [&](std::uint32_t) { ++writes; };
  track_info_impl info = read_info(original);
  // Removing a field the file does not hold.
  qiv::bit_array none(info.field_count());
  info.remove_fields(none);
  io_test::model_temp_source source(true);
  flac_metadata_writer::write(*model, source, info, never_raised_abort_signal());
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(source.asked, 0);
  EXPECT_EQ(model->bytes, original);

  // An edit of one field leaves the others in their order and spelling.
  const write_result edited = write_title(original, "T");
  const std::string expected = flac_file({stream_info(), comments({"Zeta=z", "ARTIST=a", "TITLE=T", "ARTIST=b"}),
                                          padding(100)});
  EXPECT_EQ(edited.file, expected);
}

TEST(FlacMetadataWriter, TwoCommentBlocksBecomeOneHoldingEveryFieldShown) {
  const std::string original =
      flac_file({stream_info(), comments({"TITLE=First title", "ARTIST=First artist"}), picture(3, 100, 'p'),
                 comments({"TITLE=Second title", "ALBUM=Second album"}), padding(100)});
  const write_result edited = write_title(original, "New title");
  ASSERT_EQ(edited.temp_asked, 1) << "the blocks are joined in a new file, never in place";
  EXPECT_EQ(edited.file, original);
  EXPECT_EQ(written_block_types(edited.temp), (std::vector<int>{0, 6, 4, 1}));
  const std::string one_block = comments({"TITLE=New title", "ARTIST=First artist", "ALBUM=Second album"});
  EXPECT_NE(edited.temp.find(one_block), std::string::npos);
  EXPECT_NE(edited.temp.find(picture(3, 100, 'p').substr(4)), std::string::npos);

  // A removal of a field the first block alone holds leaves it nowhere.
  auto model = io_test::make_model_file(original);
  track_info_impl info = read_info(original);
  ASSERT_NE(info.find_field("artist"), track_info::not_found);
  qiv::bit_array artist(info.field_count());
  artist.set(info.find_field("artist"), true);
  info.remove_fields(artist);
  io_test::model_temp_source source(true);
  flac_metadata_writer::write(*model, source, info, never_raised_abort_signal());
  ASSERT_TRUE(source.made);
  EXPECT_NE(source.made->bytes.find(comments({"TITLE=First title", "ALBUM=Second album"})), std::string::npos);
  EXPECT_EQ(source.made->bytes.find("First artist"), std::string::npos);
}

TEST(FlacMetadataWriter, AnEditOverACommentBlockThatClaimsMoreEntriesThanItHoldsIsRefusedUntouched) {
  std::string damaged = comments({"ALBUM=Second album", "GENRE=Jazz"});
  for (const char count : {'\x09', '\x7F'}) {
    damaged[4 + 4 + 6] = count;
    for (const std::string& original : {flac_file({stream_info(), comments({"TITLE=t"}), damaged, padding(100)}),
                                        flac_file({stream_info(), damaged, padding(100)})}) {
      auto model = io_test::make_model_file(original);
      int writes = 0;
      model->before_write = [&](std::uint32_t) { ++writes; };
      track_info_impl info = read_info(original);
      info.set_field("ALBUM", 5, "New album", 9);
      io_test::model_temp_source source(true);
      EXPECT_THROW(flac_metadata_writer::write(*model, source, info, never_raised_abort_signal()),
                   exception_comment_block_damaged);
      EXPECT_EQ(writes + source.asked, 0);
      EXPECT_EQ(model->bytes, original);
    }
  }
}

}  // namespace
