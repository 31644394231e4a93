#include "io/directory_collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/native_operations.h"
#include "io/path_schemes.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;

class recording_callback final : public directory_callback {
public:
  struct seen {
    std::string path;
    bool is_directory;
    file_stats stats;
  };
  std::vector<seen> entries;
  std::size_t stop_after = ~std::size_t(0);

  bool on_entry(const char* path, bool is_directory, const file_stats& stats, const abort_signal&) override {
    entries.push_back({path, is_directory, stats});
    return entries.size() < stop_after;
  }
};

class FolderListing : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    io_test::write_file(folder.path("top.txt"), "12345");
    CreateDirectoryW(io_test::wide(folder.path("sub")).c_str(), nullptr);
    io_test::write_file(folder.path("sub\\inner.txt"), "xy");
    CreateDirectoryW(io_test::wide(folder.path("empty")).c_str(), nullptr);
  }
  io_test::scratch_folder folder;
};

TEST_F(FolderListing, FilesComeWithStatsFoldersWithoutAndFalseEndsTheListing) {
  recording_callback callback;
  list_directory((folder.file_url() + "\\").c_str(), callback, no_abort());
  std::sort(callback.entries.begin(), callback.entries.end(), [](auto& a, auto& b) { return a.path < b.path; });
  ASSERT_EQ(callback.entries.size(), 3u);
  const auto &empty = callback.entries[0], &sub = callback.entries[1], &top = callback.entries[2];
  EXPECT_EQ(empty.path, folder.file_url("empty"));
  EXPECT_EQ(sub.path, folder.file_url("sub"));
  EXPECT_TRUE(sub.is_directory);
  EXPECT_EQ(sub.stats.size, filesize_unknown);
  EXPECT_EQ(sub.stats.timestamp, filetime_unknown);
  EXPECT_EQ(top.path, folder.file_url("top.txt"));
  EXPECT_FALSE(top.is_directory);
  EXPECT_EQ(top.stats.size, 5u);
  EXPECT_NE(top.stats.timestamp, 0u);

  recording_callback first_only;
  first_only.stop_after = 1;
  list_directory(folder.file_url().c_str(), first_only, no_abort());
  EXPECT_EQ(first_only.entries.size(), 1u);
  list_directory(folder.file_url("empty").c_str(), first_only, no_abort());
  EXPECT_EQ(first_only.entries.size(), 1u);
}

TEST_F(FolderListing, MissingFoldersFilesAndPathsWithoutSchemeAreRefused) {
  recording_callback callback;
  // A trailing backslash does not make a missing folder an empty one.
  for (const char* name : {"missing", "missing\\"})
    EXPECT_THROW(list_directory(folder.file_url(name).c_str(), callback, no_abort()), exception_io_not_found) << name;
  // A file is no folder; which code the system gives for it varies.
  EXPECT_THROW(list_directory(folder.file_url("top.txt").c_str(), callback, no_abort()), exception_io);
  EXPECT_THROW(native_list_directory(folder.path().c_str(), callback, no_abort()), exception_io);
  EXPECT_TRUE(callback.entries.empty());
}

TEST_F(FolderListing, TheCollectorEntersSubfoldersOnlyWhenRecursiveAndStopsOnAbort) {
  for (const bool recursive : {false, true}) {
    directory_collector collector(recursive);
    list_directory(folder.file_url().c_str(), collector, no_abort());
    std::vector<std::string> paths;
    for (const directory_entry_ref& entry : collector.get_entries()) paths.push_back(entry->get_path());
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> expected{folder.file_url("top.txt")};
    if (recursive) expected.insert(expected.begin(), folder.file_url("sub\\inner.txt"));
    EXPECT_EQ(paths, expected);
  }
  raisable_abort_signal abort;
  abort.raise();
  directory_collector collector(true);
  EXPECT_THROW(list_directory(folder.file_url().c_str(), collector, abort), exception_aborted);
  EXPECT_EQ(collector.get_entries().get_count(), 0u);
}

}  // namespace
