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

TEST(ProfilePath, PortableProfileLiesBesideTheProgramWithOneBackslash) {
  app::process_state s;
  s.portable_config = true;
  s.program_folder.set_string("C:\\Zorv\\");
  choose_profile_folder(s);
  EXPECT_STREQ(s.profile_path.get_ptr(), "file://C:\\Zorv\\zorv-configuration");
}

TEST(ProfilePath, DefaultProfileLiesUnderApplicationData) {
  app::process_state s;
  s.program_folder.set_string("C:\\Zorv\\");
  choose_profile_folder(s);
  const std::string path = s.profile_path.get_ptr();
  EXPECT_EQ(path.rfind("file://", 0), 0u);
  EXPECT_NE(path.find("\\Zorv Audio Player"), std::string::npos);
  EXPECT_EQ(path.find("zorv-configuration"), std::string::npos);
}

}  // namespace
