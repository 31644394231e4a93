#include "io/leading_id3v2_tags.h"

#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"
#include "io/temp_schemes.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;

// A tag header and `body` bytes of body; the size field counts the body.
std::string tag(std::uint32_t body, std::uint8_t flags = 0, std::uint8_t top_size_byte_or = 0) {
  std::string bytes = std::string("ID3\x03\0", 5) + static_cast<char>(flags);
  for (int shift = 21; shift >= 0; shift -= 7) bytes += static_cast<char>((body >> shift) & 0x7F);
  bytes[6] = static_cast<char>(bytes[6] | top_size_byte_or);
  return bytes + std::string(body + ((flags & 0x10) ? 10 : 0), 't');
}

const std::string audio = io_test::pattern(4000);

class LeadingId3v2Tags : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    open_temp_memory_no_abort(scratch_link_);  // links the temporary schemes' registrations
  }

  static std::uint64_t strip(const service_ptr<io_test::model_file>& file, const abort_signal& abort = no_abort()) {
    file_ptr holder(file.get());
    retag_in_place in_place;
    std::uint64_t length = 0;
    id3v2_strip_leading_tags(holder, in_place, length, abort);
    return length;
  }

private:
  file_ptr scratch_link_;
};

TEST_F(LeadingId3v2Tags, StripRemovesTheRunOfTagsOnlyWhenSomethingFollowsIt) {
  const std::string two = tag(64) + tag(10, 0x10);  // the second has a footer: 74 + 30 bytes
  const std::string cut = tag(64) + tag(4000).substr(0, 100);
  const struct {
    const char* why;
    std::string content;
    std::uint64_t length;
    std::string after;
  } cases[] = {
      {"audio follows", two + audio, 104, audio},
      {"low flag bits end the run", two + tag(5, 0x01) + audio, 104, tag(5, 0x01) + audio},
      {"a high size byte ends the run", two + tag(5, 0, 0x80) + audio, 104, tag(5, 0, 0x80) + audio},
      {"a header cut short ends the run", two + "ID3\x03", 104, "ID3\x03"},
      {"nothing but tags", two, 104, two},
      {"a tag claiming more than the file holds", cut, cut.size(), cut},
      {"no tag", "xxxx" + tag(3), 0, "xxxx" + tag(3)},
  };
  for (const auto& c : cases) {
    auto file = make_model_file(c.content);
    EXPECT_EQ(strip(file), c.length) << c.why;
    EXPECT_TRUE(file->bytes == c.after) << c.why;
  }
  auto stream = make_model_file(tag(4) + "rest");
  stream->seekable = false;
  EXPECT_THROW(strip(stream), exception_io_object_not_seekable);
  stream->seekable = true;
  stream->size_known = false;
  EXPECT_THROW(strip(stream), exception_io_no_length);
}

TEST_F(LeadingId3v2Tags, AFailureAtAnyStepNeverLeavesTheFileCutShort) {
  const std::string original = tag(30) + audio;
  bool stripped = false;
  for (int step = 1; !stripped && step < 50; ++step) {
    auto file = make_model_file(original);
    file->fail_at_step = step;
    try {
      strip(file);
      stripped = true;
      EXPECT_TRUE(file->bytes == audio);
    } catch (const exception_io&) {
      ASSERT_EQ(file->bytes.size(), original.size()) << "failed at step " << step;
      // The not yet overwritten end is still the original's.
      EXPECT_EQ(file->bytes.substr(audio.size()), original.substr(audio.size())) << step;
    }
  }
  EXPECT_TRUE(stripped);
  auto file = make_model_file(original);
  file->fail_write_after = 100;
  EXPECT_THROW(strip(file), exception_io_device_full);
  EXPECT_TRUE(file->bytes.substr(100) == original.substr(100));
}

TEST_F(LeadingId3v2Tags, CancellingStopsTheStripOnlyBeforeTheFileChanges) {
  auto file = make_model_file(tag(30) + audio);
  raisable_abort_signal abort;
  // Header reads are ten bytes; the first longer read copies the rest away.
  file->before_read = [&](std::uint32_t bytes) {
    if (bytes > 10) abort.raise();
  };
  EXPECT_THROW(strip(file, abort), exception_aborted);
  EXPECT_TRUE(file->bytes == tag(30) + audio);

  raisable_abort_signal later;
  file->before_read = nullptr;
  file->before_write = [&](std::uint32_t) { later.raise(); };
  EXPECT_EQ(strip(file, later), 40u);
  EXPECT_TRUE(file->bytes == audio);
}

TEST_F(LeadingId3v2Tags, ARemainderAboveSixteenMebibytesIsKeptOnDiskWhileItMoves) {
  const int before = io_test::count_matching(io_test::temp_folder() + "omg*.tmp");
  const std::size_t rest = 20 * 1024 * 1024;
  auto file = make_model_file(tag(10) + std::string(rest, 'R'));
  int while_copying_back = -1;
  file->before_write = [&](std::uint32_t) {
    while_copying_back = io_test::count_matching(io_test::temp_folder() + "omg*.tmp");
  };
  strip(file);
  EXPECT_EQ(file->bytes, std::string(rest, 'R'));
  EXPECT_EQ(while_copying_back, before + 1);
}

}  // namespace
