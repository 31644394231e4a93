#include "io/path_schemes.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/actual_path_case.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/native_operations.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;

class PathSchemes : public ::testing::Test {
protected:
  void SetUp() override { io_test::build_registry(); }
  io_test::scratch_folder folder;
};

TEST_F(PathSchemes, NetworkPathsKeepTheirOwnLongForm) {
  qiv::string_buffer out;
  ASSERT_TRUE(file_url_to_long_path("file://\\\\srv\\share\\a.mp3", out));
  EXPECT_STREQ(out.get_ptr(), "\\\\srv\\share\\a.mp3");
  EXPECT_FALSE(file_url_to_long_path("tempmem://", out));
}

TEST_F(PathSchemes, TheFileSchemeClaimsItsOwnAndBareWindowsPathsWithTheirStoredCase) {
  scheme_handler& files = file_scheme_handler();
  for (const char* claimed : {"C:\\Music\\a.mp3", "file://C:/Music/a.mp3", "\\\\srv\\share\\a.mp3"}) {
    scheme_handler_ptr found;
    EXPECT_TRUE(find_scheme_handler(claimed, found) && found.get() == &files) << claimed;
  }
  for (const char* refused : {"C:/Music/a.mp3", "C:\\archive.zip|a.mp3", "FILE://C:\\a.mp3", "unknown://a/b"})
    EXPECT_FALSE(files.claims_path(refused)) << refused;
  EXPECT_THROW(exists("unknown://a/b", no_abort()), exception_io_no_handler_for_path);
  EXPECT_TRUE(is_remote("unknown://a/b"));

  io_test::write_file(folder.path("MixedCase.txt"), "x");
  qiv::string_buffer stored, out;
  ASSERT_TRUE(get_actual_path_case(folder.path("MixedCase.txt").c_str(), stored));
  for (const std::string& path : {"file:///" + folder.path("mixedcase.TXT"), folder.path("MIXEDCASE.txt")}) {
    canonicalize_path(path.c_str(), out);
    EXPECT_EQ(std::string(out.get_ptr()), std::string("file://") + stored.get_ptr()) << path;
  }
}

TEST_F(PathSchemes, FilesAndFoldersAreMadeMovedAndRemovedWithoutLosingAnything) {
  const std::string a = folder.file_url("a.txt"), b = folder.file_url("b.txt"), sub = folder.file_url("sub");
  io_test::write_file(folder.path("a.txt"), "content");
  move(a.c_str(), b.c_str(), no_abort());
  EXPECT_FALSE(exists(a.c_str(), no_abort()));
  io_test::write_file(folder.path("a.txt"), "other");
  EXPECT_THROW(move(a.c_str(), b.c_str(), no_abort()), exception_io_already_exists);
  EXPECT_THROW(move(a.c_str(), "tempmem://", no_abort()), exception_io_no_handler_for_path);  // never across schemes
  EXPECT_EQ(io_test::read_file(folder.path("a.txt")), "other");
  EXPECT_EQ(io_test::read_file(folder.path("b.txt")), "content");

  create_directory(sub.c_str(), no_abort());
  EXPECT_FALSE(native_file_exists(sub.c_str()));
  EXPECT_THROW(create_directory(sub.c_str(), no_abort()), exception_io_already_exists);
  move(b.c_str(), (sub + "\\b.txt").c_str(), no_abort());
  EXPECT_THROW(remove(sub.c_str(), no_abort()), exception_io_directory_not_empty);
  remove((sub + "\\b.txt").c_str(), no_abort());
  EXPECT_THROW(remove((sub + "\\b.txt").c_str(), no_abort()), exception_io_not_found);
  remove(sub.c_str(), no_abort());
  EXPECT_FALSE(io_test::exists(folder.path("sub")));
}

TEST_F(PathSchemes, RetryingOutlastsABriefLockAndEndsAtOnceOnAbortOrAnotherFailure) {
  io_test::write_file(folder.path("a.txt"), "abc");
  win32_handle lock(io_test::hold_file(folder.path("a.txt")));
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
  // Without retrying the violation passes on at once.
  EXPECT_THROW(create_file(folder.file_url("a.txt").c_str(), file, no_abort()), exception_io_sharing_violation);
  std::thread releaser([&] {
    Sleep(200);
    lock.reset();
  });
  EXPECT_NO_THROW(open_retrying(file, folder.file_url("a.txt").c_str(), open_mode::read, no_abort(), 10));
  releaser.join();
  EXPECT_EQ(io_test::read_all(*file), "abc");
}

}  // namespace
