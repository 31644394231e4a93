#include "io/retag_through_temp_file.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/retag_temp_path.h"
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
  qiv::string_buffer first, second, other;
  make_retag_temp_path("file://C:\\Music\\a.flac", first);
  make_retag_temp_path("file://C:\\Music\\a.flac", second);
  make_retag_temp_path("file://C:\\Music\\b.flac", other);
  const std::string name = first.get_ptr();
  EXPECT_EQ(name, second.get_ptr());
  EXPECT_NE(name, other.get_ptr());
  ASSERT_EQ(name.size(), 21u + 32 + 4) << name;
  EXPECT_EQ(name.substr(0, 21), "file://C:\\Music\\temp-");
  EXPECT_EQ(name.substr(21, 32).find_first_not_of("0123456789abcdef"), std::string::npos) << name;
  EXPECT_EQ(name.substr(53), ".tmp");
}

TEST_F(RetagThroughTempFile, TargetIsUntouchedUntilTheCommitReplacesItKeepingItsAttributes) {
  const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  SetFileAttributesW(io_test::wide(folder.path("a.flac")).c_str(), attributes);
  file_ptr file;
  open(file, target.c_str(), open_mode::write_existing, no_abort());
  retag_through_temp_file retag(target.c_str());
  file_ptr output;
  ASSERT_TRUE(retag.open_temp(output, no_abort()));
  EXPECT_THROW(retag.open_temp(output, no_abort()), qiv::exception_dynamic_assert);  // one object, one file
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

  retag_through_temp_file unused(target.c_str());
  open(file, target.c_str(), open_mode::read, no_abort());
  file_object* before = file.get();
  unused.commit(file, no_abort());  // nothing was opened: the writer keeps its file
  EXPECT_EQ(file.get(), before);
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
        std::thread user([&] {
          Sleep(100);
          abort.raise();
        });
        EXPECT_THROW(retag.commit(output, abort), exception_aborted);
        user.join();
      }
    }
    EXPECT_EQ(io_test::read_file(folder.path("a.flac")), "old content") << cancel;
    EXPECT_EQ(temp_files(), 0) << cancel;
  }
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

TEST_F(RetagThroughTempFile, NoTemporaryFileMeansInPlaceButACancellationAtAnyCheckPassesAndLeavesNothing) {
  retag_through_temp_file missing_folder(folder.file_url("missing\\a.flac").c_str());
  file_ptr output;
  EXPECT_FALSE(missing_folder.open_temp(output, no_abort()));
  EXPECT_FALSE(output);

  bool opened = false;
  for (int n = 1; n <= 20 && !opened; ++n) {
    SCOPED_TRACE("cancelled at check " + std::to_string(n));
    abort_at_check abort(n);
    retag_through_temp_file retag(target.c_str());
    try {
      opened = retag.open_temp(output, abort);
      EXPECT_TRUE(opened);
    } catch (const exception_aborted&) {
      EXPECT_FALSE(output);
      EXPECT_EQ(temp_files(), 0);
    }
  }
  EXPECT_TRUE(opened) << "an open that is never cancelled succeeds";
}

}  // namespace
