#include "io/temp_schemes.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/path_schemes.h"
#include "io/read_ahead_file.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;
using io_test::read_all;

// The "omg*.tmp" names in the system's temporary folder.
int temp_files_named_omg() {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, folder);
  return io_test::count_matching(io_test::utf8(folder) + "omg*.tmp");
}

class TempSchemes : public ::testing::Test {
protected:
  void SetUp() override { io_test::build_registry(); }
};

TEST(MemoryFile, WritesOverwriteAndGrowAndResizeMovesAPositionBeyondTheEnd) {
  file_ptr file = make_memory_file();
  file->write("0123456789", 10, no_abort());
  EXPECT_EQ(read_all(*file), "0123456789");
  file->seek(4, no_abort());
  file->write("abcdefghij", 10, no_abort());
  EXPECT_EQ(file->get_position(no_abort()), 14u);
  EXPECT_EQ(read_all(*file), "0123abcdefghij");
  EXPECT_THROW(file->seek(15, no_abort()), exception_io_seek_out_of_range);
  file->seek(8, no_abort());
  file->resize(4, no_abort());
  EXPECT_EQ(file->get_position(no_abort()), 4u);
  EXPECT_EQ(read_all(*file), "0123");
}

TEST(MemoryFile, SizesPastFourGibibytesFailBeforeAnythingChanges) {
  file_ptr file = make_memory_file();
  file->write("abc", 3, no_abort());
  try {
    file->resize(std::uint64_t(1) << 32, no_abort());
    FAIL() << "no exception";
  } catch (const qiv::exception_overflow& e) {
    EXPECT_STREQ(e.what(), "Overflow");
  }
  char byte = 'x';
  // The write's end is computed before anything is allocated or copied.
  EXPECT_THROW(file->write(&byte, UINT32_MAX - 1, no_abort()), std::bad_alloc);
  EXPECT_EQ(read_all(*file), "abc");
}

TEST_F(TempSchemes, OnlyTheBareLowerCaseSchemesAreClaimedAndShownAsNoFile) {
  file_ptr file;
  EXPECT_THROW(open(file, "TEMPFILE://", open_mode::write_new, no_abort()), exception_io_no_handler_for_path);
  EXPECT_THROW(open(file, "tempmem://x", open_mode::write_new, no_abort()), exception_io_no_handler_for_path);
  qiv::string_buffer shown;
  get_display_path(shown, "tempmem://");
  EXPECT_STREQ(shown.get_ptr(), "<temporary memory space>");
  get_display_path(shown, "tempfile://");
  EXPECT_STREQ(shown.get_ptr(), "<temporary file>");
}

TEST_F(TempSchemes, OnlyCreationIsAllowedAndThePathsNameNothingThatLasts) {
  file_ptr file;
  EXPECT_THROW(open(file, "tempfile://", open_mode::read, no_abort()), exception_io_denied);
  try {
    open(file, "tempmem://", open_mode::write_existing, no_abort());
    FAIL() << "no exception";
  } catch (const exception_io_denied&) {
    FAIL() << "a memory file refuses the mode as a plain I/O error";
  } catch (const exception_io& e) {
    EXPECT_STREQ(e.what(), "I/O error");
  }
  for (const char* path : {"tempfile://", "tempmem://"}) {
    file_stats stats;
    bool writable = false;
    EXPECT_THROW(get_stats(path, stats, writable, no_abort()), exception_io_not_found) << path;
    EXPECT_FALSE(exists(path, no_abort()));
    EXPECT_THROW(remove(path, no_abort()), exception_io_not_found) << path;
    EXPECT_THROW(create_directory(path, no_abort()), exception_io_not_found) << path;
  }
  file_ptr first, second;
  open(first, "tempmem://", open_mode::write_new, no_abort());
  first->write("abc", 3, no_abort());
  open(second, "tempmem://", open_mode::write_new, no_abort());
  EXPECT_EQ(second->get_size(no_abort()), 0u);
  EXPECT_TRUE(second->is_memory_backed());
}

TEST_F(TempSchemes, TempFileIsAnUnbufferedNativeFileThatVanishesWhenReleased) {
  const int before = temp_files_named_omg();
  raisable_abort_signal abort;
  abort.raise();
  file_ptr file;
  EXPECT_THROW(open_temp_file(file, abort), exception_aborted);
  EXPECT_EQ(temp_files_named_omg(), before);

  open(file, "tempfile://", open_mode::write_new, no_abort());
  EXPECT_EQ(temp_files_named_omg(), before + 1);
  file->write("scratch", 7, no_abort());
  EXPECT_EQ(read_all(*file), "scratch");
  EXPECT_FALSE(file->is_memory_backed());
  EXPECT_FALSE(service_query<read_ahead_file>(file.get()));
  file.reset();
  EXPECT_EQ(temp_files_named_omg(), before);
}

TEST_F(TempSchemes, TempFileThatCannotBeOpenedLeavesNoEmptyNameBehind) {
  io_test::scratch_folder folder;
  const std::string name = folder.path("omg1234.tmp");
  io_test::write_file(name, "");
  // Somebody holds the fresh name (allowing deletion only): our open, which
  // shares nothing, fails.
  const HANDLE holder = CreateFileW(io_test::wide(name).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  file_ptr file;
  EXPECT_THROW(open_created_temp_name(file, name.c_str()), exception_io_sharing_violation);
  CloseHandle(holder);
  EXPECT_FALSE(io_test::exists(name));
}

}  // namespace
