#include "io/temp_schemes.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/win32_handles.h"
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
int temp_files_named_omg() { return io_test::count_matching(io_test::temp_folder() + "omg*.tmp"); }

TEST(MemoryFile, SizesPastFourGibibytesFailBeforeAnythingChanges) {
  file_ptr file = make_memory_file();
  file->write("abc", 3, no_abort());
  EXPECT_THROW(file->resize(std::uint64_t(1) << 32, no_abort()), qiv::exception_overflow);
  char byte = 'x';
  // The write's end is computed before anything is allocated or copied.
  EXPECT_THROW(file->write(&byte, UINT32_MAX - 1, no_abort()), std::bad_alloc);
  EXPECT_EQ(read_all(*file), "abc");
}

TEST(TempSchemes, OnlyCreationOfTheBareLowerCaseSchemesIsAllowedAndThePathsNameNothingThatLasts) {
  io_test::build_registry();
  const struct {
    const char* path;
    int mode;
    const char* outcome;
  } opens[] = {
      {"TEMPFILE://", 2, "invalid path"}, {"tempmem://x", 2, "invalid path"},  // not claimed
      {"tempfile://", 0, "denied"},       {"tempmem://", 1, "io"},
      {"tempmem://", 2, ""},
  };
  for (const auto& c : opens) {
    file_ptr file;
    EXPECT_EQ(io_test::failure_of([&] { open(file, c.path, static_cast<open_mode>(c.mode), no_abort()); }), c.outcome)
        << c.path << " " << c.mode;
  }
  for (const char* path : {"tempfile://", "tempmem://"}) {
    EXPECT_FALSE(exists(path, no_abort()));
    EXPECT_THROW(remove(path, no_abort()), exception_io_not_found) << path;
  }
  file_ptr first, second;
  open(first, "tempmem://", open_mode::write_new, no_abort());
  first->write("abc", 3, no_abort());
  open(second, "tempmem://", open_mode::write_new, no_abort());
  EXPECT_EQ(second->get_size(no_abort()), 0u);
}

TEST(TempSchemes, TempFileIsAnUnbufferedNativeFileThatVanishesWhenReleased) {
  io_test::build_registry();
  const int before = temp_files_named_omg();
  raisable_abort_signal abort;
  abort.raise();
  file_ptr file;
  EXPECT_THROW(open_temp_file(file, abort), exception_aborted);
  EXPECT_EQ(temp_files_named_omg(), before);

  open(file, "tempfile://", open_mode::write_new, no_abort());
  EXPECT_EQ(temp_files_named_omg(), before + 1);
  EXPECT_FALSE(service_query<read_ahead_file>(file.get()));
  file.reset();
  EXPECT_EQ(temp_files_named_omg(), before);
}

TEST(TempSchemes, TempFileThatCannotBeOpenedLeavesNoEmptyNameBehind) {
  io_test::scratch_folder folder;
  const std::string name = folder.path("omg1234.tmp");
  io_test::write_file(name, "");
  // Somebody holds the fresh name (allowing deletion only): our open, which
  // shares nothing, fails.
  win32_handle holder(io_test::hold_file(name, FILE_SHARE_DELETE));
  file_ptr file;
  EXPECT_THROW(open_created_temp_name(file, name.c_str()), exception_io_sharing_violation);
  holder.reset();
  EXPECT_FALSE(io_test::exists(name));
}

}  // namespace
