#include "io/safe_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "io/io_exceptions.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::scratch_folder;

save_content_writer writes(const std::string& content) {
  return [content](file_object& file, const abort_signal& abort) {
    file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
  };
}

// The fresh temporary file stays open elsewhere (a virus scanner looks at
// every new file), so it cannot be moved yet: the writer keeps a reference.
file_ptr kept_temporary;
save_content_writer writes_and_keeps(const std::string& content) {
  return [content](file_object& file, const abort_signal& abort) {
    file.write(content.data(), static_cast<std::uint32_t>(content.size()), abort);
    kept_temporary = &file;
  };
}

// Another program (a backup, sync or indexing tool) holding the target open.
HANDLE hold_target(const std::string& path, DWORD share) {
  return CreateFileW(io_test::wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

long long milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

template <class Exception>
std::function<bool()> fails_with(std::function<void()> save) {
  return [save] {
    try {
      save();
    } catch (const Exception&) {
      return true;
    } catch (...) {
    }
    return false;
  };
}

TEST(SafeSave, EveryFailureLeavesTheOldContentAndNoTemporaryFile) {
  scratch_folder folder;
  const std::string target = folder.path("config.dat");
  const std::string url = folder.file_url("config.dat");
  raisable_abort_signal abort;
  bool writer_called = false;
  HANDLE holder = INVALID_HANDLE_VALUE;
  struct failure_case {
    const char* why;
    std::function<void()> prepare;
    std::function<bool()> fails_as_expected;
    long long least_wait_ms;  // a passing refusal is retried for a while first
    bool temporary_removed;   // not while another program holds it
  };
  const failure_case cases[] = {
      {"read-only target: refused before anything is written",
       [&] { SetFileAttributesW(io_test::wide(target).c_str(), FILE_ATTRIBUTE_READONLY); },
       [&] {
         try {
           write_file_via_temp(url.c_str(), [&](file_object&, const abort_signal&) { writer_called = true; },
                               never_raised_abort_signal());
         } catch (const std::exception& e) {
           return std::string(e.what()) == "file exists and is read-only" && !writer_called;
         }
         return false;
       },
       0, true},
      {"the writer fails half-way", nullptr,
       fails_with<exception_io_device_full>([&] {
         write_file_via_temp(url.c_str(),
                             [](file_object& file, const abort_signal& signal) {
                               file.write("partial", 7, signal);
                               throw_exception_io_from_win32(ERROR_DISK_FULL);
                             },
                             never_raised_abort_signal());
       }),
       0, true},
      {"abort while writing", nullptr,
       fails_with<exception_aborted>([&] {
         write_file_via_temp(url.c_str(),
                             [&](file_object& file, const abort_signal& signal) {
                               file.write("partial", 7, signal);
                               abort.raise();
                               file.write("more", 4, signal);
                             },
                             abort);
       }),
       0, true},
      // Reporting success would make the settings count as saved while the
      // old ones stay on disk.
      {"the temporary file stays in use", nullptr,
       fails_with<exception_io_sharing_violation>(
           [&] { write_file_via_temp(url.c_str(), writes_and_keeps("lost?"), never_raised_abort_signal()); }),
       500, false},
      {"another program holds the target throughout", [&] { holder = hold_target(target, 0); },
       fails_with<exception_io_sharing_violation>(
           [&] { write_file_via_temp(url.c_str(), writes("lost?"), never_raised_abort_signal()); }),
       500, true},
  };
  for (const failure_case& c : cases) {
    io_test::write_file(target, "kept");
    if (c.prepare) c.prepare();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(c.fails_as_expected()) << c.why;
    const long long waited = milliseconds_since(start);
    EXPECT_GE(waited, c.least_wait_ms) << c.why;
    EXPECT_LT(waited, 10000) << c.why;
    kept_temporary.reset();
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(holder, INVALID_HANDLE_VALUE));
    SetFileAttributesW(io_test::wide(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(io_test::read_file(target), "kept") << c.why;
    EXPECT_EQ(io_test::exists(target + ".tmp"), !c.temporary_removed) << c.why;
    DeleteFileW(io_test::wide(target + ".tmp").c_str());
  }
}

TEST(SafeSave, AHoldLetGoWhileRetryingStillSavesTheNewContent) {
  scratch_folder folder;
  const std::string target = folder.path("config.dat");
  struct release_case {
    const char* why;
    DWORD target_share;  // -1: the target is not held
    bool keep_temporary;
  };
  const release_case cases[] = {
      {"nothing in the way", DWORD(-1), false},
      {"the temporary file is in use for a moment", DWORD(-1), true},
      {"the target is held without sharing", 0, false},
      {"the target is held sharing reads and writes", FILE_SHARE_READ | FILE_SHARE_WRITE, false},
  };
  for (const release_case& c : cases) {
    io_test::write_file(target, "old");
    const HANDLE holder = c.target_share == DWORD(-1) ? INVALID_HANDLE_VALUE : hold_target(target, c.target_share);
    std::thread releaser([&] {
      Sleep(300);
      kept_temporary.reset();
      if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    });
    EXPECT_NO_THROW(write_file_via_temp(folder.file_url("config.dat").c_str(),
                                        c.keep_temporary ? writes_and_keeps("new") : writes("new"),
                                        never_raised_abort_signal()))
        << c.why;
    releaser.join();
    EXPECT_EQ(io_test::read_file(target), "new") << c.why;
    EXPECT_FALSE(io_test::exists(target + ".tmp")) << c.why;
  }
}

}  // namespace
