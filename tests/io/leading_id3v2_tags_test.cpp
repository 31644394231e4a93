#include "io/leading_id3v2_tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/path_schemes.h"
#include "io/temp_schemes.h"
#include "io_test_support.h"
#include "recording_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_recording_file;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

// A tag header and `body` bytes of body; the size field counts the body.
std::string tag(std::uint32_t body, std::uint8_t flags = 0, std::uint8_t top_size_byte_or = 0) {
  std::string bytes = "ID3";
  bytes += '\x03';
  bytes += '\0';
  bytes += static_cast<char>(flags);
  bytes += static_cast<char>(((body >> 21) & 0x7F) | top_size_byte_or);
  bytes += static_cast<char>((body >> 14) & 0x7F);
  bytes += static_cast<char>((body >> 7) & 0x7F);
  bytes += static_cast<char>(body & 0x7F);
  bytes += std::string(body + ((flags & 0x10) ? 10 : 0), 't');
  return bytes;
}

std::string audio(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 13 + i / 97);
  return bytes;
}

class LeadingId3v2Tags : public ::testing::Test {
protected:
  void SetUp() override {
    service_registry::table().build(service_factory::global_list_head);
    // Referring to them links the registrations of the schemes used here.
    file_scheme_handler();
    open_temp_memory_no_abort(scratch_link_);
  }
  void TearDown() override { service_registry::table().build(service_factory::global_list_head); }

  std::uint64_t strip(const service_ptr<io_test::recording_file>& file, const abort_signal& abort = no_abort()) {
    file_ptr holder(file.get());
    retag_in_place in_place;
    std::uint64_t length = 0;
    id3v2_strip_leading_tags(holder, in_place, length, abort);
    return length;
  }

private:
  file_ptr scratch_link_;
};

TEST_F(LeadingId3v2Tags, RunOfTagsEndsAtAHeaderWithLowFlagBitsOrAHighSizeByte) {
  const std::string two_tags = tag(100) + tag(20, 0x10);
  for (const std::string& stopper : {tag(5, 0x01), tag(5, 0, 0x80), std::string("ID3\x03")}) {
    auto file = make_recording_file(two_tags + stopper + "rest");
    std::uint64_t total = 0;
    EXPECT_EQ(id3v2_count_leading_tags(*file, total, no_abort()), 2u);
    EXPECT_EQ(total, 110u + 40u);  // the second tag has a footer
    EXPECT_EQ(file->get_position(no_abort()), total);
  }
}

TEST_F(LeadingId3v2Tags, SkipAnswersZeroAndStaysPutWhereThereIsNoTag) {
  auto file = make_recording_file("xxxx" + tag(3));
  EXPECT_EQ(id3v2_skip_leading_tag(*file, 0, no_abort()), 0u);
  EXPECT_EQ(file->get_position(no_abort()), 0u);
  EXPECT_EQ(id3v2_skip_leading_tag(*file, 4, no_abort()), 13u);
  EXPECT_EQ(file->get_position(no_abort()), 17u);
}

TEST_F(LeadingId3v2Tags, TwoTagsAreRemovedInPlaceFromANativeFile) {
  io_test::scratch_folder folder;
  const std::string rest = audio(300000);
  io_test::write_file(folder.path("a.mp3"), tag(1000) + tag(50) + rest);
  file_ptr file;
  open(file, folder.file_url("a.mp3").c_str(), open_mode::write_existing, no_abort());
  EXPECT_TRUE(id3v2_remove_leading_tags(file, no_abort()));
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.mp3")), rest);
}

TEST_F(LeadingId3v2Tags, FileOfNothingButTagsIsLeftAloneAndReportsTheirLength) {
  const std::string tags = tag(64) + tag(10);
  auto file = make_recording_file(tags);
  EXPECT_EQ(strip(file), tags.size());
  EXPECT_EQ(file->content(), tags);
  auto untagged = make_recording_file("plain audio");
  EXPECT_EQ(strip(untagged), 0u);
  EXPECT_EQ(untagged->content(), "plain audio");
}

TEST_F(LeadingId3v2Tags, TagThatClaimsMoreThanTheFileHoldsEndsWithTheFile) {
  // A cut-off download: the second tag's header promises 4000 bytes.
  const std::string cut = tag(64) + tag(4000).substr(0, 100);
  auto file = make_recording_file(cut);
  EXPECT_EQ(strip(file), cut.size());
  EXPECT_EQ(file->content(), cut);
}

TEST_F(LeadingId3v2Tags, StripNeedsASeekableFileOfKnownSize) {
  auto stream = make_recording_file(tag(4) + "rest");
  stream->seekable = false;
  EXPECT_THROW(strip(stream), exception_io_object_not_seekable);
  auto unsized = make_recording_file(tag(4) + "rest");
  unsized->size_known = false;
  EXPECT_THROW(strip(unsized), exception_io_no_length);
}

TEST_F(LeadingId3v2Tags, RewriteThroughATemporaryFileLeavesTheTargetAloneUntilTheCommit) {
  io_test::scratch_folder folder;
  const std::string original = tag(200) + audio(5000);
  io_test::write_file(folder.path("a.mp3"), original);
  const std::string target = folder.file_url("a.mp3");
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file rewrite(target.c_str());
  std::uint64_t length = 0;
  id3v2_strip_leading_tags(file, rewrite, length, no_abort());
  EXPECT_EQ(length, 210u);
  std::string now(original.size(), '\0');
  file->seek(0, no_abort());
  file->read(now.data(), static_cast<std::uint32_t>(now.size()), no_abort());
  EXPECT_EQ(now, original);

  rewrite.commit(file, no_abort());
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.mp3")), audio(5000));
}

TEST_F(LeadingId3v2Tags, CancellingWhileTheRestIsSavedLeavesTheFileWhole) {
  const std::string original = tag(30) + audio(4000);
  auto file = make_recording_file(original);
  raisable_abort_signal abort;
  // Header reads are ten bytes; the first longer read copies the rest away.
  file->before_read = [&](std::uint32_t bytes) {
    if (bytes > 10) abort.raise();
  };
  EXPECT_THROW(strip(file, abort), exception_aborted);
  EXPECT_EQ(file->content(), original);
}

TEST_F(LeadingId3v2Tags, CancellingWhileTheRestIsCopiedBackDoesNotStopTheCopy) {
  auto file = make_recording_file(tag(30) + audio(4000));
  raisable_abort_signal abort;
  file->before_write = [&](std::uint32_t) { abort.raise(); };
  EXPECT_EQ(strip(file, abort), 40u);
  EXPECT_EQ(file->content(), audio(4000));
}

TEST_F(LeadingId3v2Tags, FailureWhileCopyingBackNeverLeavesTheFileCutShort) {
  const std::string original = tag(30) + audio(4000);
  auto file = make_recording_file(original);
  file->fail_write_after = 100;
  EXPECT_THROW(strip(file), exception_io_device_full);
  EXPECT_EQ(file->content().size(), original.size());
  EXPECT_EQ(file->content().substr(100), original.substr(100));
}

// Stands in for a temporary scheme and records that it was chosen.
class scratch_spy : public scheme_handler {
public:
  scratch_spy(const char* scheme, std::vector<std::string>& opened) : scheme_(scheme), opened_(opened) {}
  bool canonicalize_path(const char*, qiv::string_object&) override { return false; }
  bool claims_path(const char* path) override { return scheme_ == path; }
  bool display_path(const char*, qiv::string_object&) override { return false; }
  void open(file_ptr& out, const char*, open_mode, const abort_signal&) override {
    opened_.push_back(scheme_);
    out = make_memory_file();
  }
  void remove(const char*, const abort_signal&) override {}
  void move(const char*, const char*, const abort_signal&) override {}
  bool is_remote(const char*) override { return false; }
  void read_stats(const char*, file_stats&, bool&, const abort_signal&) override {}
  bool make_relative_path(const char*, const char*, qiv::string_object&) override { return false; }
  bool resolve_relative_path(const char*, const char*, qiv::string_object&) override { return false; }
  void create_directory(const char*, const abort_signal&) override {}
  void list_directory(const char*, directory_callback&, const abort_signal&) override {}
  bool wants_open_for_type() override { return false; }

private:
  std::string scheme_;
  std::vector<std::string>& opened_;
};

class spy_factory final : public service_factory {
public:
  spy_factory(service_factory** list, const char* scheme, std::vector<std::string>& opened)
      : service_factory(scheme_handler::class_guid, list), instance_(scheme, opened) {}
  void create(service_handle& out) override { out = &instance_; }

private:
  service_single_instance<scratch_spy> instance_;
};

TEST_F(LeadingId3v2Tags, RemaindersAboveSixteenMebibytesAreKeptOnDiskAndSmallerOnesInMemory) {
  std::vector<std::string> opened;
  service_factory* list = nullptr;
  spy_factory file_spy(&list, "tempfile://", opened);
  spy_factory memory_spy(&list, "tempmem://", opened);
  service_registry::table().build(list);

  auto large = make_recording_file(tag(10) + std::string(20 * 1024 * 1024, 'L'));
  strip(large);
  auto small = make_recording_file(tag(10) + std::string(1024 * 1024, 'S'));
  strip(small);
  EXPECT_EQ(opened, (std::vector<std::string>{"tempfile://", "tempmem://"}));
  EXPECT_EQ(small->content(), std::string(1024 * 1024, 'S'));
}

}  // namespace
