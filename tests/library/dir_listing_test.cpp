// Listing one folder for the navigation: every entry once, across many
// system requests, the passed-over names left out, and failures told apart
// from an empty folder.
#include "library/dir_listing.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "foundation/win32_error.h"
#include "tests/io/io_test_support.h"

namespace {

std::map<std::wstring, bool> listing(const std::string& folder) {
  std::map<std::wstring, bool> seen;  // name -> is a folder
  dir_listing(io_test::wide(folder), [&](const dir_entry& entry) {
    EXPECT_TRUE(seen.emplace(entry.name, entry.is_folder()).second) << "listed once";
  });
  return seen;
}

DWORD failure_of(const std::string& folder) {
  try {
    listing(folder);
  } catch (const exception_win32& failure) {
    return failure.code();
  }
  return ERROR_SUCCESS;
}

TEST(DirListing, ListsEveryEntryOnceAndPassesOverDotNamesAndHiddenOnes) {
  io_test::scratch_folder folder;
  EXPECT_TRUE(listing(folder.path()).empty());
  // Long names: many more entries than one request of the system holds.
  const std::string stem(150, 'n');
  for (int i = 0; i < 700; ++i) io_test::write_file(folder.path(stem + std::to_string(i)), "");
  CreateDirectoryW(io_test::wide(folder.path("sub")).c_str(), nullptr);
  CreateDirectoryW(io_test::wide(folder.path(".git")).c_str(), nullptr);
  io_test::write_file(folder.path(".hidden"), "");
  io_test::write_file(folder.path("hidden"), "");
  SetFileAttributesW(io_test::wide(folder.path("hidden")).c_str(), FILE_ATTRIBUTE_HIDDEN);
  const auto seen = listing(folder.path());
  EXPECT_EQ(seen.size(), 701u);
  EXPECT_TRUE(seen.at(L"sub"));
  EXPECT_FALSE(seen.at(io_test::wide(stem + "699")));
  EXPECT_TRUE(listing("C:").count(L"windows")) << "a drive alone is listed at its root";
}

TEST(DirListing, FolderThatCannotBeListedThrowsTheSystemsReason) {
  io_test::scratch_folder folder;
  io_test::write_file(folder.path("file"), "");
  EXPECT_EQ(failure_of(folder.path("missing")), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(failure_of(folder.path("missing\\deeper")), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(failure_of(folder.path("file")), DWORD(ERROR_SUCCESS)) << "a file is no folder";
}

}  // namespace
