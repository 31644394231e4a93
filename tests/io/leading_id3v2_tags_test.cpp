#include "io/leading_id3v2_tags.h"

#include <gtest/gtest.h>

#include <functional>
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

  // Hands out an in-memory temporary file (made by `make_temp`, when given)
  // and stands for the caller's commit, which puts it in place of the file.
  class memory_rewrite final : public retag_temp_source {
  public:
    bool open_temp(file_ptr& out, const abort_signal&) override {
      made = make_model_file();
      if (prepare) prepare(*made);
      out = made.get();
      return true;
    }
    std::function<void(io_test::model_file&)> prepare;
    service_ptr<io_test::model_file> made;
  };

  static std::uint64_t strip(const service_ptr<io_test::model_file>& file, const abort_signal& abort = no_abort(),
                             std::function<void(io_test::model_file&)> prepare_temp = nullptr) {
    file_ptr holder(file.get());
    memory_rewrite rewrite;
    rewrite.prepare = std::move(prepare_temp);
    std::uint64_t length = 0;
    id3v2_strip_leading_tags(holder, rewrite, length, abort);
    if (rewrite.made) file->bytes = rewrite.made->bytes;
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
  // A full disk while the copy is written leaves the file as it was.
  auto file = make_model_file(original);
  EXPECT_THROW(strip(file, no_abort(), [](io_test::model_file& temp) { temp.fail_write_after = 100; }),
               exception_io_device_full);
  EXPECT_TRUE(file->bytes == original);
}

TEST_F(LeadingId3v2Tags, CancellingStopsTheStripOnlyBeforeTheFileChanges) {
  // The copy into the temporary file stops for a cancellation, and the file
  // itself changes only by the caller's commit.
  auto file = make_model_file(tag(30) + audio);
  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(strip(file, abort), exception_aborted);
  EXPECT_TRUE(file->bytes == tag(30) + audio);

  raisable_abort_signal later;
  file->before_read = nullptr;
  file->before_write = [&](std::uint32_t) { later.raise(); };
  EXPECT_EQ(strip(file, later), 40u);
  EXPECT_TRUE(file->bytes == audio);
}

TEST_F(LeadingId3v2Tags, WithoutATemporaryFileTheStripIsRefusedBeforeAnythingChanges) {
  // Moving the rest up in place would take many writes, which a killed
  // process could leave half done, a large rest most of all.
  const int before = io_test::count_matching(io_test::temp_folder() + "omg*.tmp");
  const std::string original = tag(10) + std::string(20 * 1024 * 1024, 'R');
  auto file = make_model_file(original);
  int writes = 0;
  file->before_write = [&](std::uint32_t) { ++writes; };
  file_ptr holder(file.get());
  std::uint64_t length = 0;
  EXPECT_THROW(id3v2_remove_leading_tags(holder, no_abort()), exception_no_safe_rewrite);
  retag_in_place in_place;
  EXPECT_THROW(id3v2_strip_leading_tags(holder, in_place, length, no_abort()), exception_no_safe_rewrite);
  EXPECT_EQ(0, writes);
  EXPECT_TRUE(file->bytes == original);
  EXPECT_EQ(before, io_test::count_matching(io_test::temp_folder() + "omg*.tmp"));
  // A file without tags needs no change at all.
  auto untagged = make_model_file(audio);
  file_ptr plain(untagged.get());
  EXPECT_FALSE(id3v2_remove_leading_tags(plain, no_abort()));
}

}  // namespace
