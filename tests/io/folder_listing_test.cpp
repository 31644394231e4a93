#include "io/directory_collector.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "io/io_exceptions.h"
#include "io/native_operations.h"
#include "io/path_schemes.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;

// Each entry as "folder" or its size and whether it has a time.
class recording_callback final : public directory_callback {
public:
  std::map<std::string, std::string> entries;
  std::size_t stop_after = ~std::size_t(0);

  bool on_entry(const char* path, bool is_directory, const file_stats& stats, const abort_signal&) override {
    entries[path] = is_directory ? (stats.size == filesize_unknown && stats.timestamp == filetime_unknown ? "folder" : "?")
                                 : std::to_string(stats.size) + (stats.timestamp != 0 ? " timed" : "");
    return entries.size() < stop_after;
  }
};

TEST(FolderListing, FilesComeWithStatsFoldersWithoutAndFalseEndsTheListing) {
  io_test::build_registry();
  io_test::scratch_folder folder;
  io_test::write_file(folder.path("top.txt"), "12345");
  CreateDirectoryW(io_test::wide(folder.path("sub")).c_str(), nullptr);
  io_test::write_file(folder.path("sub\\inner.txt"), "xy");
  recording_callback callback;
  list_directory((folder.file_url() + "\\").c_str(), callback, no_abort());
  EXPECT_EQ(callback.entries, (std::map<std::string, std::string>{{folder.file_url("sub"), "folder"},
                                                                  {folder.file_url("top.txt"), "5 timed"}}));
  callback.stop_after = 1;  // false ends the listing
  callback.entries.clear();
  list_directory(folder.file_url().c_str(), callback, no_abort());
  EXPECT_EQ(callback.entries.size(), 1u);

  recording_callback refused;
  // A trailing backslash does not make a missing folder an empty one.
  for (const char* name : {"missing", "missing\\"})
    EXPECT_THROW(list_directory(folder.file_url(name).c_str(), refused, no_abort()), exception_io_not_found) << name;
  // A file is no folder; which code the system gives for it varies.
  EXPECT_THROW(list_directory(folder.file_url("top.txt").c_str(), refused, no_abort()), exception_io);
  EXPECT_THROW(native_list_directory(folder.path().c_str(), refused, no_abort()), exception_io);
  EXPECT_TRUE(refused.entries.empty());
}

}  // namespace
