// Editing EBML in place: integer encodings, Void elements, gaps and the
// growth of a SeekHead, each checked on the bytes of the file.
#include "inputs/matroska/ebml_in_place_writing.h"

#include <gtest/gtest.h>

#include "inputs/matroska/ebml_vint.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_ids.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "io/io_exceptions.h"
#include "tests/inputs/matroska/matroska_test_files.h"

using namespace Matroska;
using namespace matroska_test;

namespace {

std::string encoded(std::uint64_t value) {
  std::uint8_t buffer[8];
  const unsigned length = ebml_encode_vint(value, buffer);
  return std::string(reinterpret_cast<char*>(buffer), length);
}

struct editing {
  explicit editing(const std::string& bytes) : file(memory_file(bytes)), reader(file, never_raised_abort_signal()) {}
  std::string bytes() { return file_bytes(*file); }
  vantrel_io::file_ptr file;
  ebml_file_reader reader;
};

const std::string entry_content = el(0x53AB, id_bytes(0x1254C367)) + el(0x53AC, be(77, 4));
const std::string new_entry = el(0x4DBB, entry_content);

}  // namespace

TEST(EbmlVint, ShortestEncodingsAndIds) {
  EXPECT_EQ(encoded(0x7E), "\xFE");
  EXPECT_EQ(encoded(0x7F), std::string("\x40\x7F"));
  EXPECT_EQ(encoded(0x3FFE), "\x7F\xFE");
  // All ones at a length reads as "unknown size" to other programs.
  EXPECT_EQ(encoded(0x3FFF), std::string("\x20\x3F\xFF"));
  EXPECT_EQ(encoded(0x6C), "\xEC");
  EXPECT_EQ(encoded(0x0DBB), "\x4D\xBB");
  EXPECT_EQ(encoded(0x0254C367), "\x12\x54\xC3\x67");
  EXPECT_EQ(encoded((std::uint64_t{1} << 56) - 2).size(), 8u);
  std::uint8_t buffer[8];
  EXPECT_THROW(ebml_encode_vint((std::uint64_t{1} << 56) - 1, buffer), vantrel_io::exception_io_data);
  EXPECT_FALSE(ebml_encode_vint_fixed(200, 1, buffer));
  ASSERT_TRUE(ebml_encode_vint_fixed(200, 4, buffer));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), std::string("\x10\x00\x00\xC8", 4));
  EXPECT_FALSE(ebml_encode_vint_fixed(0x7F, 1, buffer));
}

TEST(EbmlVoid, HeadersCoverExactlyTheirSpan) {
  editing file(std::string(16, 'o'));
  ebml_write_void(file.reader, 0, 2);
  ebml_write_void(file.reader, 2, 8);
  EXPECT_EQ(file.bytes().substr(0, 4), std::string("\xEC\x80\xEC\x86"));
  EXPECT_EQ(file.bytes().substr(4, 12), std::string(12, 'o'));
  ebml_write_void(file.reader, 5, 9);
  EXPECT_EQ(file.bytes().substr(5, 9), std::string("\xEC\x01\x00\x00\x00\x00\x00\x00\x00", 9));
  const std::string before = file.bytes();
  ebml_write_void(file.reader, 0, 0);
  EXPECT_THROW(ebml_write_void(file.reader, 0, 1), vantrel_io::exception_io_data);
  EXPECT_EQ(file.bytes(), before);
}

TEST(EbmlVoid, GapsNeverLeaveOneByte) {
  const std::string content = "abc";
  editing tight(std::string(6, 'o'));
  EXPECT_FALSE(ebml_write_into_gap(tight.reader, 0, 6, 0x2D, content.data(), 3));
  EXPECT_EQ(tight.bytes(), std::string(6, 'o'));
  editing roomy(std::string(7, 'o'));
  ASSERT_TRUE(ebml_write_into_gap(roomy.reader, 0, 7, 0x2D, content.data(), 3));
  EXPECT_EQ(roomy.bytes(), std::string("\xAD\x83" "abc\xEC\x80"));
}

TEST(EbmlSizes, RewrittenInTheLengthTheyHave) {
  editing file(el(0x1254C367, "abc", 2) + "rest");
  ASSERT_TRUE(ebml_rewrite_size(file.reader, 0, ids::tags, 0x3000));
  EXPECT_EQ(file.bytes().substr(4, 2), std::string("\x70\x00", 2));
  EXPECT_FALSE(ebml_rewrite_size(file.reader, 0, ids::tags, 0x4000));
  EXPECT_THROW(ebml_rewrite_size(file.reader, 0, ids::seek_head, 1), vantrel_io::exception_io_data);
  EXPECT_EQ(file.bytes().substr(4, 2), std::string("\x70\x00", 2));
}

TEST(EbmlSeekHead, EntryGoesIntoAVoidInsideIt) {
  const std::string seekhead = el(0x114D9B74, seek_entry(0x1549A966, 0) + el(0xEC, std::string(18, 'v')));
  editing file(seekhead + "after");
  ASSERT_TRUE(ebml_seekhead_add_entry(file.reader, 0, entry_content.data(), entry_content.size(), seekhead.size()));
  // The 17-byte entry takes 17 of the 20 bytes; a 3-byte Void keeps the last old byte.
  ASSERT_EQ(new_entry.size(), 17u);
  EXPECT_EQ(file.bytes(), el(0x114D9B74, seek_entry(0x1549A966, 0) + new_entry + "\xEC\x81v") + "after");
}

TEST(EbmlSeekHead, GrowsOverTheVoidAfterItKeepingItsSizeLength) {
  const std::string seekhead = el(0x114D9B74, seek_entry(0x1549A966, 0), 4);
  const std::string segment_content = seekhead + el(0xEC, std::string(98, 'v')) + info() + tracks();
  const std::string file_start = header() + el(0x18538067, "", 8);
  editing file(header() + el(0x18538067, segment_content, 8));
  const std::uint64_t at = file_start.size();
  const std::uint64_t limit = at + segment_content.size();
  ASSERT_TRUE(ebml_seekhead_add_entry(file.reader, at, entry_content.data(), entry_content.size(), limit));
  const std::string grown = el(0x114D9B74, seek_entry(0x1549A966, 0) + new_entry, 4);
  EXPECT_EQ(file.bytes().substr(at, grown.size()), grown);
  const std::uint64_t rest = seekhead.size() + 100 - grown.size();
  EXPECT_EQ(file.bytes().substr(at + grown.size(), 9), "\xEC" + size_bytes(rest - 9, 8));

  // The file still reads, and its SeekHead now lists the new entry.
  matroska_file_scan scan;
  ebml_file_reader reader(file.file, never_raised_abort_signal());
  matroska_scan_file(scan, reader);
  EXPECT_TRUE(scan.knows(ids::tags));
}

TEST(EbmlSeekHead, GrowthAndSpansStopAtTheEndOfTheParent) {
  // The SeekHead ends the Segment; a Void follows outside of it.
  const std::string seekhead = el(0x114D9B74, seek_entry(0x1549A966, 0) + seek_entry(0x1654AE6B, 0));
  const std::string outside = el(0xEC, std::string(60, 'v'));
  editing file(seekhead + outside);
  EXPECT_FALSE(ebml_seekhead_add_entry(file.reader, 0, entry_content.data(), entry_content.size(), seekhead.size()));
  EXPECT_EQ(file.bytes(), seekhead + outside);

  // Voiding the last Seek entry stays inside the SeekHead.
  const std::uint64_t last_entry = seekhead.size() - seek_entry(0x1654AE6B, 0).size();
  EXPECT_EQ(ebml_span_with_voids(file.reader, last_entry, ids::seek, seekhead.size()), seek_entry(0x1654AE6B, 0).size());
  ebml_void_out(file.reader, last_entry, ids::seek, seekhead.size());
  EXPECT_EQ(static_cast<unsigned char>(file.bytes()[last_entry]), 0xECu);
  EXPECT_EQ(file.bytes().substr(seekhead.size()), outside);
  EXPECT_THROW(ebml_span_with_voids(file.reader, 0, ids::seek, seekhead.size()), vantrel_io::exception_io_data);
}

TEST(EbmlSeekHead, SpansTakeEveryFollowingVoidWithinTheLimit) {
  const std::string tags = el(0x1254C367, "t");
  editing file(tags + el(0xEC, "") + el(0xEC, "12345") + el(0x1549A966, "") + el(0xEC, ""));
  EXPECT_EQ(ebml_span_with_voids(file.reader, 0, ids::tags, 1000), tags.size() + 2 + 7);
  EXPECT_EQ(ebml_span_with_voids(file.reader, 0, ids::tags, tags.size() + 5), tags.size() + 2);
}
