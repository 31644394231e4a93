#include "io/path_schemes.h"

#include <gtest/gtest.h>

#include <functional>
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

TEST_F(PathSchemes, PathTextForms) {
  using text_function = std::function<bool(const char*, qiv::string_object&)>;
  const text_function long_path = file_url_to_long_path, native = file_url_to_native;
  const text_function display = [](const char* p, qiv::string_object& o) { return get_display_path(o, p), true; };
  const text_function relative = [](const char* p, qiv::string_object& o) {
    return file_scheme_handler().make_relative_path(p, "file://C:\\Music\\list.m3u", o);
  };
  const struct {
    const text_function& function;
    const char* path;
    const char* expected;  // "refused" when the function answers false
  } cases[] = {
      {long_path, "file://\\\\srv\\share\\a.mp3", "\\\\srv\\share\\a.mp3"},  // network paths keep theirs
      {long_path, "tempmem://", "refused"},
      {native, "C:\\x\\y", "refused"},
      {native, "FILE://C:\\x", "refused"},
      {display, "unknown://a/b", "unknown://a/b"},
      {relative, "file://C:\\MUSIC\\Album\\a.mp3", "file://Album\\a.mp3"},
      {relative, "file://D:\\a.mp3", "refused"},
  };
  for (const auto& c : cases) {
    qiv::string_buffer out("unchanged");
    EXPECT_EQ(c.function(c.path, out) ? std::string(out.get_ptr()) : "refused", c.expected) << c.path;
  }
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
  file_ptr file;
  create_file(a.c_str(), file, no_abort());
  file->write("content", 7, no_abort());
  file.reset();
  file_stats stats;
  bool writable = false;
  get_stats(a.c_str(), stats, writable, no_abort());
  EXPECT_EQ(stats.size, 7u);
  EXPECT_TRUE(writable);

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
