#include "io/safe_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "foundation/win32_handles.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;

// The fresh temporary file stays open elsewhere (a virus scanner looks at
// every new file), so it cannot be moved yet: the writer keeps a reference.
file_ptr kept_temporary;

save_content_writer writes(const std::string& content, bool keep_temporary = false) {
  return [=](file_object& file, const abort_signal& abort) {
    file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
    if (keep_temporary) kept_temporary = &file;
  };
}

class SafeSave : public ::testing::Test {
protected:
  // What the save threw, "" when it succeeded.
  std::string save(const save_content_writer& writer, const abort_signal& signal = never_raised_abort_signal()) {
    try {
      write_file_via_temp(url.c_str(), writer, signal);
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  }
  // Another program (a backup, sync or indexing tool) holding the target.
  void hold_target(DWORD share) { holder.reset(io_test::hold_file(target, share)); }

  io_test::scratch_folder folder;
  const std::string target = folder.path("config.dat"), url = folder.file_url("config.dat");
  win32_handle holder;
  raisable_abort_signal abort;
};

TEST_F(SafeSave, EveryFailureLeavesTheOldContentAndNoTemporaryFile) {
  bool writer_called = false;
  enum obstacle { none, read_only, held };
  const struct {
    const char* why;
    obstacle in_the_way;
    save_content_writer writer;
    const char* error;
    long long least_wait_ms;  // a passing refusal is retried for a while first
    bool temporary_left;      // while another program holds it
  } cases[] = {
      {"read-only target: refused before anything is written", read_only,
       [&](file_object&, const abort_signal&) { writer_called = true; }, "file exists and is read-only", 0, false},
      {"the disk fills up half-way", none,
       [](file_object& file, const abort_signal& signal) {
         file.write("partial", 7, signal);
         throw_exception_io_from_win32(ERROR_DISK_FULL);
       },
       "Device full", 0, false},
      {"abort while writing", none,
       [&](file_object& file, const abort_signal& signal) {
         file.write("partial", 7, signal);
         abort.raise();
         file.write("more", 4, signal);
       },
       "User abort", 0, false},
      // Reporting success would make the settings count as saved while the
      // old ones stay on disk.
      {"the temporary file stays in use", none, writes("lost?", true), "File is already in use", 500, true},
      {"another program holds the target throughout", held, writes("lost?"), "File is already in use", 500, false},
  };
  for (const auto& c : cases) {
    io_test::write_file(target, "kept");
    if (c.in_the_way == read_only) SetFileAttributesW(io_test::wide(target).c_str(), FILE_ATTRIBUTE_READONLY);
    if (c.in_the_way == held) hold_target(0);
    abort.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(save(c.writer, abort), c.error) << c.why;
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(c.least_wait_ms)) << c.why;
    EXPECT_LT(waited, std::chrono::seconds(10)) << c.why;
    kept_temporary.reset();
    holder.reset();
    SetFileAttributesW(io_test::wide(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(io_test::read_file(target), "kept") << c.why;
    EXPECT_EQ(io_test::exists(target + ".tmp"), c.temporary_left) << c.why;
    DeleteFileW(io_test::wide(target + ".tmp").c_str());
  }
  EXPECT_FALSE(writer_called);
}

TEST_F(SafeSave, AHoldLetGoWhileRetryingStillSavesTheNewContent) {
  const struct {
    const char* why;
    DWORD target_share;  // -1: the target is not held
    bool keep_temporary;
  } cases[] = {
      {"the temporary file is in use for a moment", DWORD(-1), true},
      {"the target is held sharing reads and writes", FILE_SHARE_READ | FILE_SHARE_WRITE, false},
  };
  for (const auto& c : cases) {
    io_test::write_file(target, "old");
    if (c.target_share != DWORD(-1)) hold_target(c.target_share);
    std::thread releaser([&] {
      Sleep(300);
      kept_temporary.reset();
      holder.reset();
    });
    EXPECT_EQ(save(writes("new", c.keep_temporary)), "") << c.why;
    releaser.join();
    EXPECT_EQ(io_test::read_file(target), "new") << c.why;
    EXPECT_FALSE(io_test::exists(target + ".tmp")) << c.why;
  }
}

}  // namespace
