#include "io/safe_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "io/io_exceptions.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::scratch_folder;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

save_content_writer writes(const std::string& content) {
  return [content](file_object& file, const abort_signal& abort) {
    file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
  };
}

TEST(SafeSave, ReplacesTheTargetAndLeavesNoTemporaryFile) {
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "old settings");
  write_file_via_temp(folder.file_url("config.dat").c_str(), writes("new settings"), no_abort());
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "new settings");
  EXPECT_FALSE(io_test::exists(folder.path("config.dat.tmp")));
}

TEST(SafeSave, AReadOnlyTargetIsRefusedBeforeAnythingIsWritten) {
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "kept");
  SetFileAttributesW(io_test::wide(folder.path("config.dat")).c_str(), FILE_ATTRIBUTE_READONLY);
  bool writer_called = false;
  try {
    write_file_via_temp(folder.file_url("config.dat").c_str(),
                        [&](file_object&, const abort_signal&) { writer_called = true; }, no_abort());
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "file exists and is read-only");
  }
  EXPECT_FALSE(writer_called);
  EXPECT_FALSE(io_test::exists(folder.path("config.dat.tmp")));
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "kept");
}

TEST(SafeSave, AFailingWriterLeavesTheTargetAndNoTemporaryFile) {
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "kept");
  const auto failing = [](file_object& file, const abort_signal& abort) {
    file.write("partial", 7, abort);
    throw_exception_io_from_win32(ERROR_DISK_FULL);
  };
  EXPECT_THROW(write_file_via_temp(folder.file_url("config.dat").c_str(), failing, no_abort()),
               exception_io_device_full);
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "kept");
  EXPECT_FALSE(io_test::exists(folder.path("config.dat.tmp")));
}

TEST(SafeSave, AnAbortLeavesTheTargetAndNoTemporaryFile) {
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "kept");
  raisable_abort_signal abort;
  const auto aborting = [&](file_object& file, const abort_signal& signal) {
    file.write("partial", 7, signal);
    abort.raise();
    file.write("more", 4, signal);
  };
  EXPECT_THROW(write_file_via_temp(folder.file_url("config.dat").c_str(), aborting, abort), exception_aborted);
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "kept");
  EXPECT_FALSE(io_test::exists(folder.path("config.dat.tmp")));
}

// The fresh temporary file stays open elsewhere (a virus scanner looks at
// every new file), so it cannot be moved yet. Here the content writer keeps
// a reference to it, which holds it open the same way.
save_content_writer writes_and_keeps(const std::string& content, file_ptr& kept) {
  return [content, &kept](file_object& file, const abort_signal& abort) {
    file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
    kept = &file;
  };
}

TEST(SafeSave, AFileThatStaysInUseIsReportedNotSilentlyKept) {
  // A save that could not replace the target must say so, or the settings
  // count as saved while the old ones stay on disk.
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "kept");
  file_ptr held;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(write_file_via_temp(folder.file_url("config.dat").c_str(), writes_and_keeps("lost?", held), no_abort()),
               exception_io_sharing_violation);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  held.reset();
  EXPECT_GE(waited.count(), 500);  // it did retry for a while first
  EXPECT_LT(waited.count(), 10000);
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "kept");
}

TEST(SafeSave, AFileReleasedWhileRetryingReplacesTheTarget) {
  scratch_folder folder;
  io_test::write_file(folder.path("config.dat"), "old");
  file_ptr held;
  std::thread releaser([&] {
    Sleep(200);
    held.reset();
  });
  EXPECT_NO_THROW(write_file_via_temp(folder.file_url("config.dat").c_str(), writes_and_keeps("new", held), no_abort()));
  releaser.join();
  EXPECT_EQ(io_test::read_file(folder.path("config.dat")), "new");
  EXPECT_FALSE(io_test::exists(folder.path("config.dat.tmp")));
}

}  // namespace
