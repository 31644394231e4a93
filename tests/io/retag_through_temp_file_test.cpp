#include "io/retag_through_temp_file.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/string_buffer.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/retag_temp_path.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::scratch_folder;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

int count_files(const scratch_folder& folder, const char* pattern) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(io_test::wide(folder.path(pattern)).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

std::string read_all(file_object& file) {
  std::string content(static_cast<std::size_t>(file.get_size(no_abort())), '\0');
  file.seek(0, no_abort());
  content.resize(file.read(content.data(), static_cast<std::uint32_t>(content.size()), no_abort()));
  return content;
}

void write_text(file_object& file, const std::string& text) {
  file.write(text.data(), static_cast<std::uint32_t>(text.size()), no_abort());
}

class RetagThroughTempFile : public ::testing::Test {
protected:
  void SetUp() override {
    file_scheme_handler();  // links the "file://" scheme's registration
    io_test::build_registry();
    io_test::write_file(folder.path("a.flac"), "old content");
    target = folder.file_url("a.flac");
  }

  scratch_folder folder;
  std::string target;
};

TEST(RetagTempPath, NameLiesBesideTheTargetAndIsTheSameEveryTime) {
  qiv::string_buffer first, second, other;
  make_retag_temp_path("file://C:\\Music\\a.flac", first);
  make_retag_temp_path("file://C:\\Music\\a.flac", second);
  make_retag_temp_path("file://C:\\Music\\b.flac", other);
  const std::string name = first.get_ptr();
  EXPECT_EQ(name, second.get_ptr());
  EXPECT_NE(name, other.get_ptr());
  ASSERT_EQ(name.size(), std::string("file://C:\\Music\\temp-").size() + 32 + 4) << name;
  EXPECT_EQ(name.substr(0, 21), "file://C:\\Music\\temp-");
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_EQ(name.substr(21, 32).find_first_not_of("0123456789abcdef"), std::string::npos) << name;
}

TEST_F(RetagThroughTempFile, TargetIsUntouchedUntilTheCommitReplacesItKeepingItsAttributes) {
  SetFileAttributesW(io_test::wide(folder.path("a.flac")).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 1);
  write_text(*output, "new content, longer");
  output.reset();
  EXPECT_EQ(read_all(*file), "old content");

  retag.commit(file, no_abort());
  ASSERT_TRUE(file);
  EXPECT_EQ(read_all(*file), "new content, longer");
  write_text(*file, "!");  // reopened for modifying
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "new content, longer!");
  const DWORD attributes = GetFileAttributesW(io_test::wide(folder.path("a.flac")).c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
}

TEST_F(RetagThroughTempFile, CancelledCommitLeavesTheOldTargetAndNoTemporaryFile) {
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  write_text(*output, "new content");
  // Another program keeps the target open: the replacement waits for it
  // until the user cancels.
  const HANDLE holder =
      CreateFileW(io_test::wide(folder.path("a.flac")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  raisable_abort_signal abort;
  std::thread user([&] {
    Sleep(100);
    abort.raise();
  });
  EXPECT_THROW(retag.commit(output, abort), exception_aborted);
  user.join();
  CloseHandle(holder);
  EXPECT_FALSE(output);
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "old content");
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
}

TEST_F(RetagThroughTempFile, FailedCommitRemovesTheTemporaryFile) {
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  DeleteFileW(io_test::wide(folder.path("a.flac")).c_str());
  EXPECT_THROW(retag.commit(output, no_abort()), exception_io_not_found);
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
}

TEST_F(RetagThroughTempFile, AbandonedRewriteLeavesNoTemporaryFile) {
  {
    retag_through_temp_file retag(target.c_str());
    file_ptr output;
    ASSERT_TRUE(retag.open_temp(output, no_abort()));
    write_text(*output, "half of the new content");
  }
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
  EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "old content");
}

TEST_F(RetagThroughTempFile, NoTemporaryFileMeansRewritingInPlaceButACancellationPasses) {
  retag_through_temp_file missing_folder(folder.file_url("missing\\a.flac").c_str());
  file_ptr output;
  EXPECT_FALSE(missing_folder.open_temp(output, no_abort()));
  EXPECT_FALSE(output);

  retag_through_temp_file retag(target.c_str());
  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(retag.open_temp(output, abort), exception_aborted);
  EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
}

// A signal that turns raised at its n-th question, to cancel an operation at
// each of its checks in turn.
class abort_at_check final : public abort_signal {
public:
  explicit abort_at_check(int n) : remaining_(n) { event_.create(); }
  bool is_set() const override { return --remaining_ <= 0; }
  HANDLE get_event() const override { return event_.get(); }

private:
  mutable int remaining_;
  win32_event event_;
};

TEST_F(RetagThroughTempFile, CancellationAtAnyMomentOfOpeningLeavesNoHalfMadeTemporaryFile) {
  bool opened = false;
  for (int n = 1; n <= 20 && !opened; ++n) {
    SCOPED_TRACE("cancelled at check " + std::to_string(n));
    abort_at_check abort(n);
    retag_through_temp_file retag(target.c_str());
    file_ptr output;
    try {
      opened = retag.open_temp(output, abort);
      EXPECT_TRUE(opened);
    } catch (const exception_aborted&) {
      EXPECT_FALSE(output);
      EXPECT_EQ(count_files(folder, "temp-*.tmp"), 0);
    }
  }
  EXPECT_TRUE(opened) << "an open that is never cancelled succeeds";
}

TEST_F(RetagThroughTempFile, CommitWithoutATemporaryFileKeepsTheWritersFile) {
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  file_object* before = file.get();
  retag_through_temp_file retag(target.c_str());
  retag.commit(file, no_abort());
  EXPECT_EQ(file.get(), before);
}

TEST_F(RetagThroughTempFile, OneObjectGivesOneTemporaryFile) {
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  EXPECT_THROW(retag.open_temp(output, no_abort()), qiv::exception_dynamic_assert);
}

}  // namespace
