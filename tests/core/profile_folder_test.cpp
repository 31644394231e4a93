#include "core/profile_folder.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramFolder, EndsAfterTheLastSeparatorOfAnyKind) {
  EXPECT_EQ(program_folder_length("C:\\Programs\\Zorv\\zorv.exe"), 17u);
  EXPECT_EQ(program_folder_length("Z:/build/zorv.exe"), 9u);
  EXPECT_EQ(program_folder_length("C:zorv.exe"), 2u);
  EXPECT_EQ(program_folder_length("a|b"), 2u);
  EXPECT_EQ(program_folder_length("zorv.exe"), 0u);
}

}  // namespace
