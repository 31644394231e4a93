// Damaged files end in one of the library's own errors, and no damage makes
// the reader ask for more memory than the file's size could justify: files
// cut at every byte, every box size and table count set to extremes, boxes
// nested deeply.
#include <gtest/gtest.h>

#include "inputs/mp4/sample_iterator.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "tests/inputs/matroska/largest_allocation.h"
#include "tests/inputs/mp4/mp4_test_boxes.h"

using namespace mp4_test;

namespace {

// A plain track with every table, and a fragmented file of two runs.
bytes plain_file() {
  const bytes tables = stts({{3, 1024}, {1, 500}}) + full_box("ctts", 0, be32(1) + be32(4) + be32(2112)) +
                       full_box("stss", 0, be32(1) + be32(1)) + stsz(0, {10, 20, 30, 40}) + stsc({{1, 2, 1}}) +
                       full_box("co64", 0, be32(2) + be64(1000) + be64(2000));
  const bytes chapters = box("chpl", bytes(1, '\x01') + bytes(4, '\0') + be32(1) + be64(0) + "\x03one");
  return ftyp() +
         box("moov", mvhd(1000, 93) + trak(1, 44100, 3572, audio_entry("mp4a", 2, 44100, esds()), tables) +
                         box("udta", chapters)) +
         box("mdat", bytes(100, 'x'));
}

bytes fragmented_file() {
  const bytes trex = full_box("trex", 0, be32(1) + be32(1) + be32(1024) + be32(8) + be32(0));
  const bytes run = full_box("trun", 0x301, be32(2) + be32(0) + be32(1024) + be32(5) + be32(1024) + be32(6));
  const bytes empty = stts({}) + stsz(0, {}) + stsc({}) + stco({});
  return ftyp() +
         box("moov", mvhd(1000, 0) + trak(1, 44100, 0, audio_entry("mp4a", 2, 44100, esds()), empty) +
                         box("mvex", trex)) +
         box("moof", full_box("mfhd", 0, be32(1)) +
                         box("traf", full_box("tfhd", 0x20000, be32(1)) + run +
                                         full_box("trun", 0, be32(0xFFFFFFFF)))) +
         box("mdat", bytes(11, 'x'));
}

// "" when the file opens and walks whole or fails with the library's
// error; else what went wrong.
std::string outcome(const bytes& data) {
  largest_allocation::reset();
  try {
    tarnex::mp4_file file;
    open_bytes(file, data);
    for (const auto& track : file.tracks) {
      if (track->sample_count == 0) continue;
      tarnex::sample_iterator samples(track);
      samples.position(0);
      while (samples.advance()) samples.locate();
    }
  } catch (const tarnex::exception&) {
  } catch (const std::exception& e) {
    return std::string("other exception: ") + e.what();
  }
  // 64-bit offsets for 32-bit ones, a size and a duration for each
  // fragment sample: a few times the file, never more.
  const std::size_t allowed = 16 * data.size() + 4096;
  if (largest_allocation::largest > allowed) return "allocation of " + std::to_string(largest_allocation::largest);
  return "";
}

struct box_place {
  std::size_t offset;
  std::string type;
};

// Every box of the structure the reader descends into, with its offset.
void find_boxes(const bytes& data, std::size_t from, std::size_t to, std::vector<box_place>& out) {
  while (from + 8 <= to) {
    const std::size_t size = (std::uint8_t(data[from]) << 24) | (std::uint8_t(data[from + 1]) << 16) |
                             (std::uint8_t(data[from + 2]) << 8) | std::uint8_t(data[from + 3]);
    if (size < 8 || size > to - from) return;
    const std::string type = data.substr(from + 4, 4);
    out.push_back({from, type});
    for (const char* container : {"moov", "trak", "mdia", "minf", "stbl", "udta", "mvex", "moof", "traf"})
      if (type == container) find_boxes(data, from + 8, from + size, out);
    from += size;
  }
}

bool has_count_after_flags(const std::string& type) {
  for (const char* counted : {"stts", "ctts", "stss", "stsc", "stco", "co64", "stsd", "trun"})
    if (type == counted) return true;
  return false;
}

}  // namespace

TEST(Mp4DamagedFiles, TheUndamagedFilesOpen) {
  for (const bytes& data : {plain_file(), fragmented_file()}) {
    EXPECT_EQ(open_error(data), "");
    EXPECT_EQ(outcome(data), "");
  }
}

TEST(Mp4DamagedFiles, FilesCutAtEveryByte) {
  for (const bytes& whole : {plain_file(), fragmented_file()})
    for (std::size_t cut = 0; cut < whole.size(); ++cut) EXPECT_EQ(outcome(whole.substr(0, cut)), "") << cut;
}

TEST(Mp4DamagedFiles, SizesAndCountsSetToExtremes) {
  for (const bytes& whole : {plain_file(), fragmented_file()}) {
    std::vector<box_place> boxes;
    find_boxes(whole, 0, whole.size(), boxes);
    ASSERT_GT(boxes.size(), 15u) << "the walk reaches the tables";
    for (const auto& place : boxes) {
      for (std::uint32_t value : {0u, 1u, 7u, 9u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        bytes damaged = whole;
        damaged.replace(place.offset, 4, be32(value));
        EXPECT_EQ(outcome(damaged), "") << place.type << " size " << value;
        if (has_count_after_flags(place.type)) {
          damaged = whole;
          damaged.replace(place.offset + 12, 4, be32(value));
          EXPECT_EQ(outcome(damaged), "") << place.type << " count " << value;
        }
      }
      // A 64-bit size far beyond the file.
      bytes wide = whole;
      wide.replace(place.offset, 4, be32(1));
      wide.insert(place.offset + 8, be64(0x7FFFFFFFFFFFFFFFull));
      EXPECT_EQ(outcome(wide), "") << place.type << " 64-bit size";
    }
  }
}

TEST(Mp4DamagedFiles, BoxesNestedDeeply) {
  bytes nested = box("moov", mvhd(1000, 93));
  for (int level = 0; level < 5000; ++level) nested = box(level % 2 ? "udta" : "trak", nested);
  EXPECT_EQ(outcome(ftyp() + box("moov", mvhd(1000, 93) + nested)), "");
  bytes movie = simple_track();
  for (int level = 0; level < 5000; ++level) movie = box("moov", movie);
  EXPECT_EQ(outcome(ftyp() + movie), "");
}
