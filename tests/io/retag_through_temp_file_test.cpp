#include "io/retag_through_temp_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"
#include "io/disk_wait.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/retag_temp_path.h"
#include "io/test_write_faults.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;
using io_test::read_all;

void write_text(file_object& file, const std::string& text) {
  file.write(text.data(), static_cast<std::uint32_t>(text.size()), no_abort());
}

class RetagThroughTempFile : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    io_test::write_file(folder.path("a.flac"), "old content");
  }
  int temp_files() const { return io_test::count_matching(folder.path("temp-*.tmp")); }

  io_test::scratch_folder folder;
  const std::string target = folder.file_url("a.flac");
};

TEST(RetagTempPath, NameLiesBesideTheTargetAndIsTheSameEveryTime) {
  const auto name_of = [](const char* target) {
    qiv::string_buffer name;
    make_retag_temp_path(target, name);
    return std::string(name.get_ptr());
  };
  const std::string name = name_of("file://C:\\Music\\a.flac");
  EXPECT_EQ(name, name_of("file://C:\\Music\\a.flac"));
  EXPECT_NE(name, name_of("file://C:\\Music\\b.flac"));
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(file://C:\\Music\\temp-[0-9a-f]{32}\.tmp)"))) << name;
  // The same file reached by another spelling of its path.
  EXPECT_EQ(name, "file://C:\\Music\\" + name_of("C:\\MUSIC\\A.FLAC").substr(9));
}

TEST_F(RetagThroughTempFile, TargetIsUntouchedUntilTheCommitReplacesItKeepingItsAttributes) {
  const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  SetFileAttributesW(io_test::wide(folder.path("a.flac")).c_str(), attributes);
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  EXPECT_EQ(temp_files(), 1);
  write_text(*output, "new content, longer");
  output.reset();
  EXPECT_EQ(read_all(*file), "old content");

  retag.commit(file, no_abort());
  ASSERT_TRUE(file);
  EXPECT_EQ(read_all(*file), "new content, longer");
  write_text(*file, "!");  // reopened for modifying
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "new content, longer!");
  EXPECT_EQ(GetFileAttributesW(io_test::wide(folder.path("a.flac")).c_str()) & attributes, attributes);
  EXPECT_EQ(temp_files(), 0);
}

// A batch writes other files while one is copied: the copy, its flush
// within it, is one wait of the writing thread, from the temporary file's
// making to its move into place.
TEST_F(RetagThroughTempFile, TheWholeCopyIsOneWaitForTheDisk) {
  struct counting_listener final : disk_wait_listener {
    int begun = 0, ended = 0;
    void disk_wait_begins() noexcept override { ++begun; }
    void disk_wait_ends() noexcept override { ++ended; }
  } waits;
  disk_wait_listener* const previous = listen_to_disk_waits(&waits);
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  {
    retag_through_temp_file retag(target.c_str());
    EXPECT_EQ(waits.begun, 0);
    file_ptr output;
    ASSERT_TRUE(retag.open_temp(output, no_abort()));
    EXPECT_EQ(waits.begun, 1);
    write_text(*output, "new content");
    output.reset();
    retag.commit(file, no_abort());
    EXPECT_EQ(waits.ended, 1);
    file->flush(no_abort());
  }
  // A flush of a written file is a wait of its own.
  write_text(*file, "!");
  file->flush(no_abort());
  listen_to_disk_waits(previous);
  EXPECT_EQ(waits.begun, 2);
  EXPECT_EQ(waits.ended, 2);
}

TEST_F(RetagThroughTempFile, AnAbandonedOrCancelledRewriteLeavesTheTargetAndNoTemporaryFile) {
  for (const bool cancel : {false, true}) {
    {
      retag_through_temp_file retag(target.c_str());
      file_ptr output;
      ASSERT_TRUE(retag.open_temp(output, no_abort()));
      write_text(*output, "half of the new content");
      if (cancel) {
        // Another program keeps the target open: the replacement waits for
        // it until the user cancels.
        win32_handle holder(io_test::hold_file(folder.path("a.flac")));
        raisable_abort_signal abort;
        std::thread user([&] { Sleep(100); abort.raise(); });
        EXPECT_THROW(retag.commit(output, abort), exception_aborted);
        user.join();
      }
    }
    EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "old content") << cancel;
    EXPECT_EQ(temp_files(), 0) << cancel;
  }
  // Without room for a temporary file the rewrite happens in place.
  retag_through_temp_file missing_folder(folder.file_url("missing\\a.flac").c_str());
  file_ptr output;
  EXPECT_FALSE(missing_folder.open_temp(output, no_abort()));
  EXPECT_FALSE(output);
}

// A failure at any change of the rewrite (a write of the copy, its flush,
// its move into place) reaches the writer as an I/O error, leaves the
// target and nothing beside it, and hands the writer its file back, open on
// the target for reading and writing.
TEST_F(RetagThroughTempFile, AFailureAtAnyChangeLeavesTheTargetAndHandsItBackOpen) {
  std::uint32_t failed = 0;
  for (std::uint32_t fault = 1;; ++fault) {
    ASSERT_LT(fault, 20u);
    file_ptr file;
    open(file, target.c_str(), open_mode::write_existing, no_abort());
    arm_test_write_fault(fault);
    try {
      retag_through_temp_file retag(target.c_str());
      file_ptr output;
      ASSERT_TRUE(retag.open_temp(output, no_abort()));
      write_text(*output, "new content");
      write_text(*output, ", longer");
      output.reset();
      retag.commit(file, no_abort());
    } catch (const exception_io&) {
      arm_test_write_fault(0);
      ++failed;
      EXPECT_EQ(temp_files(), 0) << fault;
      ASSERT_TRUE(file) << fault;
      EXPECT_EQ(read_all(*file), "old content") << fault;
      write_text(*file, "!");
      file.reset();
      EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "old content!") << fault;
      io_test::write_file(folder.path("a.flac"), "old content");
      continue;
    }
    arm_test_write_fault(0);
    file.reset();
    EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "new content, longer");
    break;
  }
  // Two writes, the flush and the move.
  EXPECT_EQ(failed, 4u);
}

// A leftover of a killed rewrite: the target's temporary file, no longer
// open anywhere.
TEST_F(RetagThroughTempFile, ARewriteRemovesWhatAKilledRewriteOfItsTargetLeftAndNothingElse) {
  const auto temp_of = [&](const std::string& name) {
    qiv::string_buffer path;
    make_retag_temp_path(folder.path(name).c_str(), path);
    return std::string(path.get_ptr());
  };
  const std::string leftover = temp_of("a.flac");
  const std::string foreign[] = {folder.path("temp-1234.tmp"), folder.path("a.flac.tmp"), temp_of("b.flac")};
  for (const std::string& path : foreign) io_test::write_file(path, "not this rewrite's");
  io_test::write_file(leftover, "half of a new content");

  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file first(target.c_str());
  EXPECT_FALSE(io_test::exists(leftover));
  file_ptr output;
  ASSERT_TRUE(first.open_temp(output, no_abort()));
  write_text(*output, "new content");
  output.reset();

  // Another rewrite of the same file (another process) meets the first
  // one's temporary file while it is being written: it neither removes nor
  // takes it.
  {
    retag_through_temp_file second(target.c_str());
    file_ptr second_output;
    EXPECT_FALSE(second.open_temp(second_output, no_abort()));
  }
  first.commit(file, no_abort());
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "new content");
  for (const std::string& path : foreign) EXPECT_EQ(io_test::read_file(path), "not this rewrite's") << path;
  EXPECT_FALSE(io_test::exists(leftover));
  EXPECT_EQ(temp_files(), 2);
}

// Rewrites look at a folder once while it is unchanged: a leftover that
// appears after they have is still found.
TEST_F(RetagThroughTempFile, ALeftoverMadeAfterEarlierRewritesLookedAtTheFolderIsRemoved) {
  io_test::write_file(folder.path("b.flac"), "old content");
  const std::string other = folder.file_url("b.flac");
  { retag_through_temp_file earlier(other.c_str()); }
  { retag_through_temp_file unchanged_folder(target.c_str()); }
  qiv::string_buffer leftover;
  make_retag_temp_path(folder.path("a.flac").c_str(), leftover);
  io_test::write_file(leftover.get_ptr(), "half of a new content");
  { retag_through_temp_file next(target.c_str()); }
  EXPECT_FALSE(io_test::exists(leftover.get_ptr()));
  EXPECT_EQ(temp_files(), 0);

  // A rewrite that makes its own temporary file under the leftover's name
  // while the folder is still changing takes the name over.
  io_test::write_file(leftover.get_ptr(), "half of a new content");
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file copying(target.c_str());
  file_ptr output;
  ASSERT_TRUE(copying.open_temp(output, no_abort()));
  write_text(*output, "new content");
  output.reset();
  copying.commit(file, no_abort());
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "new content");
  EXPECT_EQ(temp_files(), 0);
}

}  // namespace
