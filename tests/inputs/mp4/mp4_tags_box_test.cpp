// The "tags" box: per-chapter fields and several pictures, read from the
// forms other writers use and written so that they read back whole.
#include <gtest/gtest.h>

#include "foundation/exceptions.h"
#include "inputs/mp4/tags_box.h"
#include "mp4_test_boxes.h"

using namespace mp4_test;

namespace {

constexpr std::uint32_t tagging = reading_options | 0x08 | 0x40;

bytes field_set(std::initializer_list<std::pair<std::string, std::string>> fields, std::uint8_t flags = 0x80) {
  bytes out = be32(std::uint32_t(fields.size()));
  for (const auto& [name, value] : fields)
    out += bytes(1, char(flags)) + bytes(1, '\0') + bytes(1, char(name.size())) + name + be16(1) +
           be32(std::uint32_t(value.size())) + value;
  return out;
}

bytes chapters(std::initializer_list<std::pair<std::uint64_t, std::string>> list) {
  bytes out = bytes(1, '\1') + be32(0) + be32(std::uint32_t(list.size()));
  for (const auto& [start, name] : list) out += be64(start) + bytes(1, char(name.size())) + name;
  return box("chpl", out);
}

bytes file_with_user_data(const bytes& user_data) {
  return ftyp() + box("moov", mvhd(1000, 93) + simple_track() + box("udta", user_data)) + box("mdat", bytes(16, 'x'));
}

std::string open_error_of(const bytes& tags_payload) { return open_error(file_with_user_data(box("tags", tags_payload)), tagging); }

}  // namespace

TEST(Mp4TagsBox, ChapterBlocksNameTheirSongsAndLegacyCoversTakeTheirKinds) {
  const bytes covers = box("covr", be32(0x06) + be32(4) + be32(1) + "F" + be32(1) + "B" + be32(1) + "0" + be32(1) + "1");
  const bytes tags = box("meta", field_set({{"album", "Book"}})) + covers +
                     box("tseg", box("tshd", be32(1)) + box("meta", field_set({{"title", "Second"}})));
  tarnex::mp4_file file;
  open_bytes(file, file_with_user_data(chapters({{0, "One"}, {40000000, "Two"}}) + box("tags", tags)), tagging);
  ASSERT_EQ(file.songs.size(), 2u);
  EXPECT_EQ(file.songs[0].metadata.find("title")->values[0], "One");
  EXPECT_EQ(file.songs[1].metadata.find("title")->values[0], "Second");
  EXPECT_EQ(file.songs[1].metadata.find("album")->values[0], "Book");
  EXPECT_EQ(file.songs[0].metadata.find("track"), nullptr);  // blocks replace the numbering
  ASSERT_EQ(file.tags.pictures.size(), 4u);
  EXPECT_EQ(file.tags.pictures[1].kind, "back cover");
  EXPECT_EQ(file.tags.pictures[3].kind + std::to_string(file.tags.pictures[3].index), "booklet1");
}

TEST(Mp4TagsBox, WrittenContentReadsBackWhole) {
  tarnex::tags_content content;
  content.fields.add("album", "A");
  content.pictures = {{"front cover", 0, "\xFF\xD8" "front"}, {"booklet", 3, "page"}};
  content.segments.resize(2);
  content.segments[1].chapter = 1;
  content.segments[1].fields.add("title", bytes(300, 't'));
  tarnex::byte_buffer payload;
  tarnex::write_tags_box(content, payload);
  tarnex::mp4_file file;
  open_bytes(file, file_with_user_data(box("tags", payload)), tagging);
  EXPECT_EQ(file.tags.fields.find("album")->values[0], "A");
  ASSERT_EQ(file.tags.pictures.size(), 2u);
  EXPECT_EQ(file.tags.pictures[1].index, 3u);
  EXPECT_EQ(file.tags.pictures[1].bytes, "page");
  ASSERT_EQ(file.tags.segments.size(), 2u);
  EXPECT_EQ(file.tags.segments[1].fields.find("title")->values[0].size(), 300u);
}

TEST(Mp4TagsBox, ContentTheReaderWouldRefuseRefusesTheWriteInsteadOfBeingCut) {
  // The largest value and picture the reader takes are written whole.
  tarnex::tags_content content;
  content.fields.add("lyrics", std::string(1048575, 'l'));
  content.pictures = {{"front cover", 0, std::string(16u << 20, 'f')}, {"back cover", 0, "b"}};
  tarnex::byte_buffer payload;
  tarnex::write_tags_box(content, payload);
  tarnex::mp4_file file;
  open_bytes(file, file_with_user_data(box("tags", payload)), tagging);
  EXPECT_EQ(file.tags.fields.find("lyrics")->values[0].size(), 1048575u);
  EXPECT_EQ(file.tags.pictures[0].bytes.size(), 16u << 20);
  // One byte more was cut off the value, or made the file unreadable.
  const auto refused = [](tarnex::tags_content bigger) {
    tarnex::byte_buffer out;
    EXPECT_THROW(tarnex::write_tags_box(bigger, out), qiv::exception_overflow);
  };
  tarnex::tags_content longer = content;
  longer.fields.set("lyrics", {false, {std::string(1048576, 'l')}});
  refused(longer);
  tarnex::tags_content larger = content;
  larger.pictures[0].bytes += "f";
  refused(larger);
  tarnex::tags_content named;
  named.fields.add(std::string(256, 'n'), "v");
  refused(named);
}

TEST(Mp4TagsBox, DamagedBoxesAreRefusedWithTheirReason) {
  EXPECT_EQ(open_error_of(box("meta", be32(0) + be16(0))), "false null meta atom");
  EXPECT_EQ(open_error_of(box("meta", be32(0))), "");
  EXPECT_EQ(open_error_of(box("tseg", box("tshd", be32(1001)))), "invalid chapter number in tshd");
  EXPECT_EQ(open_error_of(box("tseg", box("tshd", be32(1000)))), "");
  EXPECT_EQ(open_error_of(box("tseg", box("meta", be32(0)))), "tseg didn't specify chapter index");
  EXPECT_EQ(open_error_of(box("tshd", be32(1))), "tshd atom not expected here");
  EXPECT_EQ(open_error(file_with_user_data(box("tags", "") + box("tags", "")), tagging), "duplicate ND tagging info found");
  // A field whose flags hold bits other than the multi-valued one is skipped with its values.
  tarnex::mp4_file file;
  open_bytes(file, file_with_user_data(box("tags", box("meta", field_set({{"x", "1"}}, 0x81)))), tagging);
  EXPECT_TRUE(file.tags.fields.empty());
}
