// Splitting blocks into frames: the header, the three lacings and the faults
// of each.
#include "inputs/matroska/matroska_block_reader.h"

#include <gtest/gtest.h>

#include "inputs/matroska/ebml_file_reader.h"
#include "io/io_exceptions.h"
#include "tests/inputs/matroska/ebml_test_bytes.h"

using namespace Matroska;
using namespace ebml_test;

namespace {

// The block after its track number: timecode 0x0102, the flags, the rest.
matroska_cluster_frames read_block(std::uint8_t flags, const std::string& rest) {
  ebml_file_reader reader(memory_file(std::string("\x01\x02", 2) + char(flags) + rest), never_raised_abort_signal());
  matroska_cluster_frames frames;
  matroska_read_block(frames, reader);
  return frames;
}

std::vector<std::size_t> sizes_of(const matroska_cluster_frames& frames) {
  std::vector<std::size_t> sizes;
  for (const auto& frame : frames.frames) sizes.push_back(frame.data.size());
  return sizes;
}

bool block_fails(std::uint8_t flags, const std::string& rest) {
  try {
    read_block(flags, rest);
    return false;
  } catch (const vantrel_io::exception_io_data&) {
    return true;
  }
}

}  // namespace

TEST(MatroskaBlock, UnlacedBlockIsOneFrameWithTheTimecodeAndFlags) {
  const auto keyframe = read_block(0x80, "abc");
  ASSERT_EQ(keyframe.frames.size(), 1u);
  const auto& frame = keyframe.frames[0];
  EXPECT_EQ(frame.timecode, 0x0102);
  EXPECT_TRUE(frame.has_timecode);
  EXPECT_FALSE(frame.invisible);
  EXPECT_EQ(std::string(frame.data.begin(), frame.data.end()), "abc");
  EXPECT_TRUE(read_block(0x08, "abc").frames[0].invisible);

  ebml_file_reader negative(memory_file(std::string("\xFF\xFE\x00x", 4)), never_raised_abort_signal());
  matroska_cluster_frames frames;
  matroska_read_block(frames, negative);
  EXPECT_EQ(frames.frames[0].timecode, -2);
}

TEST(MatroskaBlock, XiphLacing) {
  const auto frames = read_block(0x0A, "\x02\xFF\xFF\x0A\x14" + std::string(520 + 20 + 7, 'x'));
  EXPECT_EQ(sizes_of(frames), (std::vector<std::size_t>{520, 20, 7}));
  EXPECT_TRUE(frames.frames[0].has_timecode);
  EXPECT_FALSE(frames.frames[1].has_timecode || frames.frames[2].has_timecode);
  EXPECT_TRUE(frames.frames[1].invisible && frames.frames[2].invisible);
  // A count byte of 0 is one frame with the whole remainder, no sizes read.
  EXPECT_EQ(sizes_of(read_block(0x02, std::string("\x00\xFF\xFF", 3))), (std::vector<std::size_t>{2}));
  EXPECT_TRUE(block_fails(0x02, "\x01\x0A" "abc"));
}

TEST(MatroskaBlock, EbmlLacingWithSignedDifferences) {
  EXPECT_EQ(sizes_of(read_block(0x06, "\x02\x81\xBF" "abcde")), (std::vector<std::size_t>{1, 1, 3}));
  // 0x60 0x01 is 8193 - 8191 = +2 in two bytes; 0xBD is 61 - 63 = -2.
  EXPECT_EQ(sizes_of(read_block(0x06, "\x02\x83\x60\x01" "12345678901")), (std::vector<std::size_t>{3, 5, 3}));
  EXPECT_EQ(sizes_of(read_block(0x06, "\x02\x83\xBD" "abcdef")), (std::vector<std::size_t>{3, 1, 2}));
  EXPECT_TRUE(block_fails(0x06, "\x02\x81\xBD" "abcdef"));
  EXPECT_TRUE(block_fails(0x06, std::string("\x02\x81\x00" "abc", 6)));
}

TEST(MatroskaBlock, FixedLacingLeavesTheRemainderUnread) {
  ebml_file_reader reader(memory_file(std::string("\x00\x00\x04\x02", 4) + "0123456789"), never_raised_abort_signal());
  matroska_cluster_frames frames;
  matroska_read_block(frames, reader);
  EXPECT_EQ(sizes_of(frames), (std::vector<std::size_t>{3, 3, 3}));
  EXPECT_EQ(reader.remaining(), 1u);
  EXPECT_EQ(std::string(frames.frames[2].data.begin(), frames.frames[2].data.end()), "678");
}

TEST(MatroskaBlock, SizesBeyondTheBlockFailBeforeAllocatingAndEarlierFramesStay) {
  ebml_file_reader reader(memory_file(std::string("\x00\x00\x06\x02\x82\x7F\xFF", 7) + "abcdef"),
                          never_raised_abort_signal());
  matroska_cluster_frames frames;
  EXPECT_THROW(matroska_read_block(frames, reader), vantrel_io::exception_io_data);
  EXPECT_EQ(sizes_of(frames), (std::vector<std::size_t>{2}));
  // A 56-bit first size in a tiny block.
  EXPECT_TRUE(block_fails(0x06, std::string("\x01\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x80", 10)));
  EXPECT_TRUE(block_fails(0x02, "\x01" + std::string(4000, '\xFF')));
}

TEST(MatroskaBlock, SignedVintBiasPerLength) {
  ebml_file_reader reader(memory_file(std::string("\xBF\x80\x60\x00\x10\x00\x00\x00", 8)), never_raised_abort_signal());
  EXPECT_EQ(matroska_read_signed_vint(reader), 0);
  EXPECT_EQ(matroska_read_signed_vint(reader), -63);
  EXPECT_EQ(matroska_read_signed_vint(reader), 0x2000 - 8191);
  EXPECT_EQ(matroska_read_signed_vint(reader), -((std::int64_t{1} << 27) - 1));
}
