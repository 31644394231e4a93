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
using io_test::scratch_folder;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

struct seen_entry {
  std::string path;
  bool is_directory;
  file_stats stats;
};

class recording_callback final : public directory_callback {
public:
  std::vector<seen_entry> entries;
  std::size_t stop_after = ~std::size_t(0);

  bool on_entry(const char* path, bool is_directory, const file_stats& stats, const abort_signal&) override {
    entries.push_back({path, is_directory, stats});
    return entries.size() < stop_after;
  }

  const seen_entry* find(const std::string& path) const {
    for (const seen_entry& entry : entries) {
      if (entry.path == path) return &entry;
    }
    return nullptr;
  }
};

class FolderListing : public ::testing::Test {
protected:
  void SetUp() override { io_test::build_registry(); }
};

TEST_F(FolderListing, AnEmptyFolderReportsNothing) {
  scratch_folder folder;
  CreateDirectoryW(io_test::wide(folder.path("empty")).c_str(), nullptr);
  recording_callback callback;
  list_directory(folder.file_url("empty").c_str(), callback, no_abort());
  EXPECT_TRUE(callback.entries.empty());
}

TEST_F(FolderListing, AMissingFolderIsNotFoundAndAFileIsNoFolder) {
  scratch_folder folder;
  recording_callback callback;
  EXPECT_THROW(list_directory(folder.file_url("missing").c_str(), callback, no_abort()), exception_io_not_found);
  // A trailing backslash does not make a missing folder an empty one.
  EXPECT_THROW(list_directory(folder.file_url("missing\\").c_str(), callback, no_abort()), exception_io_not_found);
  // A file is no folder; which code the system gives for it varies.
  io_test::write_file(folder.path("a.txt"), "x");
  EXPECT_THROW(list_directory(folder.file_url("a.txt").c_str(), callback, no_abort()), exception_io);
  EXPECT_TRUE(callback.entries.empty());
  EXPECT_THROW(native_list_directory(folder.path().c_str(), callback, no_abort()), exception_io);
}

TEST_F(FolderListing, FilesComeWithStatsAndFoldersWithout) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.txt"), "12345");
  CreateDirectoryW(io_test::wide(folder.path("sub")).c_str(), nullptr);
  recording_callback callback;
  list_directory((folder.file_url() + "\\").c_str(), callback, no_abort());
  ASSERT_EQ(callback.entries.size(), 2u);

  const seen_entry* file = callback.find(folder.file_url("a.txt"));
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->is_directory);
  EXPECT_EQ(file->stats.size, 5u);
  EXPECT_NE(file->stats.timestamp, 0u);

  const seen_entry* sub = callback.find(folder.file_url("sub"));
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(sub->is_directory);
  EXPECT_EQ(sub->stats.size, filesize_unknown);
  EXPECT_EQ(sub->stats.timestamp, filetime_unknown);
}

TEST_F(FolderListing, ACallbackThatAnswersFalseEndsTheListing) {
  scratch_folder folder;
  for (const char* name : {"a", "b", "c"}) io_test::write_file(folder.path(name), "x");
  recording_callback callback;
  callback.stop_after = 1;
  list_directory(folder.file_url().c_str(), callback, no_abort());
  EXPECT_EQ(callback.entries.size(), 1u);
}

TEST_F(FolderListing, TheCollectorEntersSubfoldersOnlyWhenRecursive) {
  scratch_folder folder;
  io_test::write_file(folder.path("top.txt"), "x");
  CreateDirectoryW(io_test::wide(folder.path("sub")).c_str(), nullptr);
  io_test::write_file(folder.path("sub\\inner.txt"), "xy");

  directory_collector flat(false);
  list_directory(folder.file_url().c_str(), flat, no_abort());
  ASSERT_EQ(flat.get_entries().get_count(), 1u);
  EXPECT_EQ(std::string(flat.get_entries()[0]->get_path()), folder.file_url("top.txt"));

  directory_collector deep(true);
  list_directory(folder.file_url().c_str(), deep, no_abort());
  std::vector<std::string> paths;
  for (const directory_entry_ref& entry : deep.get_entries()) paths.push_back(entry->get_path());
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{folder.file_url("sub\\inner.txt"), folder.file_url("top.txt")}));
}

TEST_F(FolderListing, TheCollectorStopsOnAbort) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.txt"), "x");
  raisable_abort_signal abort;
  abort.raise();
  directory_collector collector(true);
  EXPECT_THROW(list_directory(folder.file_url().c_str(), collector, abort), exception_aborted);
  EXPECT_EQ(collector.get_entries().get_count(), 0u);
}

}  // namespace
