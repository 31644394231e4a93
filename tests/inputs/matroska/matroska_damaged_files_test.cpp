// Damaged and hostile files: every truncation and many corruptions of a file
// that uses every element the reader knows must end in a clean data error or
// a successful read, never a crash, another exception or a large allocation.
#include <gtest/gtest.h>

#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_block_reader.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "io/io_exceptions.h"
#include "tests/inputs/matroska/largest_allocation.h"
#include "tests/inputs/matroska/matroska_test_files.h"
#include "tests/inputs/matroska/matroska_test_open.h"

using namespace Matroska;
using namespace matroska_test;

namespace {

// Well above what the reader's own structures take for these small files,
// well below the caps on byte strings and frames.
constexpr std::size_t allowance = 64 * 1024;

std::string rich_file() {
  const std::string encodings =
      el(0x6D80, el(0x6240, uint_el(0x5032, 3) + el(0x5034, uint_el(0x4254, 3) + el(0x4255, "\xFF\xFB"))));
  const std::string entries = track(1, 2, el(0x63A2, "private") + encodings + uint_el(0x88, 1)) + track(2, 1);
  const std::string chapters =
      el(0x1043A770, el(0x45B9, uint_el(0x45BC, 5) + chapter(1, 0, chapter_title("One")) +
                                    chapter(2, 1000000000, uint_el(0x92, 2000000000, 4) + chapter_title("Two"))));
  const std::string attachments =
      el(0x1941A469, el(0x61A7, el(0x466E, "cover.jpg") + el(0x4660, "image/jpeg") + el(0x465C, "JPEG")));
  // Track 1 unlaced, then Xiph, fixed and EBML lacing of three frames; track 2 in a BlockGroup.
  auto block = [](int track_number, int flags, const std::string& laced) {
    return std::string{char(0x80 | track_number), '\0', '\x10', char(flags)} + laced;
  };
  const std::string blocks = el(0xA3, block(1, 0x80, "plain")) + el(0xA3, block(1, 0x82, "\x02\x03\x04" "aaabbbbcccccc")) +
                             el(0xA3, block(1, 0x84, "\x02" "abcdefghi")) +
                             el(0xA3, block(1, 0x86, "\x02\x83\xC0" "aaabbbbccc")) + el(0xA0, el(0xA1, block(2, 0, "video")));
  const std::string cues = el(0x1C53BB6B, cue(0, 1, 0) + cue(1000, 1, 0));
  const std::string tags = el(0x1254C367, el(0x7373, el(0x67C8, el(0x45A3, "TITLE") + el(0x4487, "t"))));
  return header() +
         segment_with_seekhead({{0x1549A966, info()},
                                {0x1654AE6B, tracks(entries)},
                                {0x1043A770, chapters},
                                {0x1941A469, attachments},
                                {0, el(0xEC, std::string(10, '\0'))},
                                {0x1F43B675, cluster(0, blocks)},
                                {0x1F43B675, cluster(1000, blocks)},
                                {0x1C53BB6B, cues},
                                {0x1254C367, tags}},
                               {0x1549A966, 0x1654AE6B, 0x1043A770, 0x1941A469, 0x1C53BB6B, 0x1254C367});
}

// "" when the file reads whole or fails with a data error; else what broke.
std::string outcome(const std::string& bytes, std::size_t limit = allowance) {
  const vantrel_io::file_ptr file = memory_file(bytes);
  largest_allocation::reset();
  try {
    ebml_file_reader reader(file, never_raised_abort_signal());
    matroska_file_state state;
    read_file(state, reader);
    read_clusters(state, reader, [](std::uint64_t, const matroska_cluster_frames&) {});
  } catch (const vantrel_io::exception_io_data&) {
  } catch (const std::exception& e) {
    return std::string("other exception: ") + e.what();
  }
  if (largest_allocation::largest > limit) {
    return "allocation of " + std::to_string(largest_allocation::largest);
  }
  return "";
}

}  // namespace

TEST(MatroskaDamagedFiles, TheUndamagedFileReadsWhole) {
  ebml_file_reader reader(memory_file(rich_file()), never_raised_abort_signal());
  matroska_file_state state;
  const auto chosen = read_file(state, reader);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(std::string(chosen->codec_private.begin(), chosen->codec_private.end()), "\xFF\xFBprivate");
  EXPECT_EQ(state.chapters.size(), 2u);
  EXPECT_EQ(state.attachments.size(), 1u);
  EXPECT_EQ(state.cues.size(), 2u);
  std::vector<std::size_t> frames;
  read_clusters(state, reader, [&](std::uint64_t track, const matroska_cluster_frames& block) {
    if (track == 1) frames.push_back(block.frames.size());
  });
  EXPECT_EQ(frames, (std::vector<std::size_t>{1, 3, 3, 3, 1, 3, 3, 3}));
}

TEST(MatroskaDamagedFiles, EveryTruncationEndsCleanly) {
  const std::string file = rich_file();
  for (std::size_t length = 0; length < file.size(); ++length) {
    EXPECT_EQ(outcome(file.substr(0, length)), "") << "cut at " << length;
  }
}

TEST(MatroskaDamagedFiles, EveryByteChangedEndsCleanly) {
  const std::string file = rich_file();
  const std::string replacements[] = {std::string(1, '\0'), "\xFF", "\x80", "\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF",
                                      "\x10\xFF\xFF\xFF", "\x01\x00\x00\x00\x00\x00\x00\x00"};
  for (std::size_t at = 0; at < file.size(); ++at) {
    for (const std::string& replacement : replacements) {
      std::string damaged = file;
      damaged.replace(at, 1, replacement);
      EXPECT_EQ(outcome(damaged), "") << "byte " << at << " replaced by " << replacement.size() << " bytes";
    }
    for (int bit = 0; bit < 8; ++bit) {
      std::string damaged = file;
      damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
      EXPECT_EQ(outcome(damaged), "") << "byte " << at << " bit " << bit;
    }
  }
}

TEST(MatroskaDamagedFiles, DeepNestingIsSkippedWithoutRecursion) {
  // 1,000 nested masters of unknown IDs inside the Segment and inside a
  // TrackEntry, and 1,000 nested ChapterAtoms.
  std::string unknown = "x", atoms = chapter(1, 0);
  for (int depth = 0; depth < 1000; ++depth) {
    unknown = el(0x4F00, unknown);
    atoms = chapter(1, 0, atoms);
  }
  const std::string file = minimal_file(info() + tracks(track(1, 2, unknown)) + unknown +
                                        el(0x1043A770, el(0x45B9, atoms)));
  ebml_file_reader reader(memory_file(file), never_raised_abort_signal());
  matroska_file_state state;
  ASSERT_TRUE(read_file(state, reader));
  EXPECT_EQ(state.chapters.size(), 1u);
  EXPECT_EQ(outcome(file.substr(0, file.size() / 2)), "");
}

TEST(MatroskaDamagedFiles, SizesAboveTheCapsAreRefusedWhereTheFileHoldsThem) {
  const std::string big(ebml_max_binary_size + 1, 'b');
  for (std::uint32_t id : {0x63A2u, 0x86u}) {
    const std::string element = el(id, big);
    EXPECT_EQ(outcome(minimal_file(info() + tracks(track(1, 2, element))), ebml_max_binary_size), "") << std::hex << id;
  }
  const std::string block = el(0xA3, std::string("\x81\x00\x00\x80", 4) + big);
  EXPECT_EQ(outcome(minimal_file(info() + tracks() + cluster(0, block)), ebml_max_binary_size), "");
}
