#include "io/path_schemes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "foundation/actual_path_case.h"
#include "foundation/string_buffer.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/native_operations.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::scratch_folder;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

class PathSchemes : public ::testing::Test {
protected:
  void SetUp() override { io_test::build_registry(); }
};

std::string win32_form(const char* path) {
  qiv::string_buffer out;
  win32_path(path, out);
  return out.get_ptr();
}

std::string long_form(const char* path) {
  qiv::string_buffer out("unchanged");
  if (!file_url_to_long_path(path, out)) return "refused";
  return out.get_ptr();
}

std::string display(const char* path) {
  qiv::string_buffer out;
  get_display_path(out, path);
  return out.get_ptr();
}

// Holds a file open with no sharing, as another program might.
class locked_file {
public:
  explicit locked_file(const std::string& path)
      : handle_(CreateFileW(io_test::wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                            nullptr)) {}
  ~locked_file() { unlock(); }
  void unlock() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
  HANDLE handle_;
};

TEST_F(PathSchemes, NativePathsTakeTheLongFormAndNetworkPathsKeepTheirs) {
  EXPECT_EQ(win32_form("file://C:\\a"), "\\\\?\\C:\\a");
  EXPECT_EQ(win32_form("C:\\a"), "\\\\?\\C:\\a");
  EXPECT_EQ(win32_form("file://\\\\server\\share\\a"), "\\\\server\\share\\a");
  EXPECT_EQ(long_form("file://C:\\a.mp3"), "\\\\?\\C:\\a.mp3");
  EXPECT_EQ(long_form("file://\\\\srv\\share\\a.mp3"), "\\\\srv\\share\\a.mp3");
  EXPECT_EQ(long_form("tempmem://"), "refused");
  qiv::string_buffer native;
  EXPECT_TRUE(file_url_to_native("file://C:\\x\\y", native));
  EXPECT_STREQ(native.get_ptr(), "C:\\x\\y");
  EXPECT_FALSE(file_url_to_native("C:\\x\\y", native));
}

TEST_F(PathSchemes, OnlyTheExactLowerCaseFileSchemeIsStripped) {
  const char* path = "file://C:\\a";
  EXPECT_TRUE(strip_file_scheme(path));
  EXPECT_STREQ(path, "C:\\a");
  const char* upper = "FILE://C:\\a";
  EXPECT_FALSE(strip_file_scheme(upper));
  EXPECT_STREQ(upper, "FILE://C:\\a");
}

TEST_F(PathSchemes, TheFileSchemeClaimsItsOwnAndBareWindowsPaths) {
  scheme_handler& files = file_scheme_handler();
  scheme_handler_ptr found;
  ASSERT_TRUE(find_scheme_handler("C:\\Music\\a.mp3", found));
  EXPECT_EQ(found.get(), &files);
  ASSERT_TRUE(find_scheme_handler("file://C:/Music/a.mp3", found));
  EXPECT_EQ(found.get(), &files);
  EXPECT_FALSE(files.claims_path("C:/Music/a.mp3"));
  EXPECT_FALSE(files.claims_path("C:\\archive.zip|a.mp3"));
  EXPECT_FALSE(files.claims_path("FILE://C:\\a.mp3"));
  EXPECT_FALSE(find_scheme_handler("unknown://a/b", found));
  EXPECT_EQ(display("file://C:\\Music\\a.mp3"), "C:\\Music\\a.mp3");
  EXPECT_EQ(display("unknown://a/b"), "unknown://a/b");
  EXPECT_THROW(get_scheme_handler("unknown://a/b"), exception_io_no_handler_for_path);
}

TEST_F(PathSchemes, CanonicalPathsCarryTheSchemeAndTheCaseStoredOnDisk) {
  scratch_folder folder;
  io_test::write_file(folder.path("MixedCase.txt"), "x");
  qiv::string_buffer expected_native;
  ASSERT_TRUE(get_actual_path_case(folder.path("MixedCase.txt").c_str(), expected_native));
  const std::string expected = std::string("file://") + expected_native.get_ptr();

  qiv::string_buffer out;
  canonicalize_path(("file:///" + folder.path("mixedcase.TXT")).c_str(), out);
  EXPECT_EQ(std::string(out.get_ptr()), expected);
  canonicalize_path(folder.path("MIXEDCASE.txt").c_str(), out);
  EXPECT_EQ(std::string(out.get_ptr()), expected);
  EXPECT_FALSE(native_canonicalize_path("http://host/a.mp3", out, false));
  canonicalize_path("unknown://a/b", out);
  EXPECT_STREQ(out.get_ptr(), "unknown://a/b");
}

TEST_F(PathSchemes, RelativePathsAreTakenFromAndJoinedToTheBaseFolder) {
  scheme_handler& files = file_scheme_handler();
  qiv::string_buffer out;
  ASSERT_TRUE(files.make_relative_path("file://C:\\MUSIC\\Album\\a.mp3", "file://C:\\Music\\list.m3u", out));
  EXPECT_STREQ(out.get_ptr(), "file://Album\\a.mp3");
  EXPECT_FALSE(files.make_relative_path("file://D:\\a.mp3", "file://C:\\Music\\list.m3u", out));
  EXPECT_FALSE(files.make_relative_path("C:\\Music\\a.mp3", "file://C:\\Music\\list.m3u", out));
  ASSERT_TRUE(files.resolve_relative_path("file://Album\\a.mp3", "file://C:\\Music\\list.m3u", out));
  EXPECT_STREQ(out.get_ptr(), "file://C:\\Music\\Album\\a.mp3");
  EXPECT_FALSE(files.resolve_relative_path("Album\\a.mp3", "file://C:\\Music\\list.m3u", out));
}

TEST_F(PathSchemes, FilesAreOpenedMovedAndRemovedThroughTheirScheme) {
  scratch_folder folder;
  const std::string a = folder.file_url("a.txt");
  const std::string b = folder.file_url("b.txt");
  file_ptr file;
  create_file(a.c_str(), file, no_abort());
  file->write("content", 7, no_abort());
  file.reset();
  EXPECT_TRUE(exists(a.c_str(), no_abort()));
  file_stats stats;
  bool writable = false;
  get_stats(a.c_str(), stats, writable, no_abort());
  EXPECT_EQ(stats.size, 7u);
  EXPECT_TRUE(writable);

  move(a.c_str(), b.c_str(), no_abort());
  EXPECT_FALSE(exists(a.c_str(), no_abort()));
  io_test::write_file(folder.path("a.txt"), "other");
  EXPECT_THROW(move(a.c_str(), b.c_str(), no_abort()), exception_io_already_exists);
  EXPECT_EQ(io_test::read_file(folder.path("b.txt")), "content");

  remove(b.c_str(), no_abort());
  EXPECT_FALSE(exists(b.c_str(), no_abort()));
  EXPECT_THROW(remove(b.c_str(), no_abort()), exception_io_not_found);
}

TEST_F(PathSchemes, MovesNeverCrossSchemes) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.txt"), "x");
  EXPECT_THROW(move(folder.file_url("a.txt").c_str(), "tempmem://", no_abort()), exception_io_no_handler_for_path);
  EXPECT_TRUE(io_test::exists(folder.path("a.txt")));
}

TEST_F(PathSchemes, UnclaimedPathsAreInvalidRemoteAndNeverFound) {
  EXPECT_THROW(exists("unknown://a/b", no_abort()), exception_io_no_handler_for_path);
  file_ptr file;
  EXPECT_THROW(open(file, "unknown://a/b", open_mode::read, no_abort()), exception_io_no_handler_for_path);
  EXPECT_TRUE(is_remote("unknown://a/b"));
  EXPECT_FALSE(is_remote("file://C:\\a"));
}

TEST_F(PathSchemes, FoldersAreCreatedOnceAndRemovedWhenEmpty) {
  scratch_folder folder;
  const std::string sub = folder.file_url("sub");
  create_directory(sub.c_str(), no_abort());
  EXPECT_TRUE(native_is_directory(sub.c_str()));
  EXPECT_FALSE(native_file_exists(sub.c_str()));
  EXPECT_THROW(create_directory(sub.c_str(), no_abort()), exception_io_already_exists);
  io_test::write_file(folder.path("sub\\a.txt"), "x");
  EXPECT_THROW(remove(sub.c_str(), no_abort()), exception_io_directory_not_empty);
  remove(folder.file_url("sub\\a.txt").c_str(), no_abort());
  remove(sub.c_str(), no_abort());
  EXPECT_FALSE(io_test::exists(folder.path("sub")));
  EXPECT_TRUE(native_is_directory("C:"));
  EXPECT_TRUE(native_is_directory("file://C:\\nowhere\\"));
}

TEST_F(PathSchemes, RetryingGivesUpOnALockedFileAfterItsTimeout) {
  scratch_folder folder;
  locked_file lock(folder.path("a.txt"));
  ASSERT_TRUE(lock.ok());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(remove_retrying(folder.file_url("a.txt").c_str(), no_abort(), 0.5), exception_io_sharing_violation);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(waited.count(), 450);
  EXPECT_LT(waited.count(), 5000);
  // A timeout of 0 passes the violation on without waiting.
  file_ptr file;
  EXPECT_THROW(create_file(folder.file_url("a.txt").c_str(), file, no_abort()), exception_io_sharing_violation);
}

TEST_F(PathSchemes, RetryingSucceedsOnceTheOtherProgramLetsGo) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.txt"), "abc");
  locked_file lock(folder.path("a.txt"));
  ASSERT_TRUE(lock.ok());
  std::thread releaser([&] {
    Sleep(200);
    lock.unlock();
  });
  file_ptr file;
  EXPECT_NO_THROW(open_retrying(file, folder.file_url("a.txt").c_str(), open_mode::read, no_abort(), 10));
  releaser.join();
  EXPECT_TRUE(file);
}

TEST_F(PathSchemes, RetryingEndsAtOnceOnAbortAndOnOtherFailures) {
  scratch_folder folder;
  locked_file lock(folder.path("a.txt"));
  ASSERT_TRUE(lock.ok());
  raisable_abort_signal abort;
  std::thread raiser([&] {
    Sleep(100);
    abort.raise();
  });
  file_ptr file;
  EXPECT_THROW(open_retrying(file, folder.file_url("a.txt").c_str(), open_mode::read, abort, 60), exception_aborted);
  raiser.join();
  EXPECT_THROW(open_retrying(file, folder.file_url("missing").c_str(), open_mode::read, no_abort(), 60),
               exception_io_not_found);
}

}  // namespace
