#include "core/profile_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProfileIdentity, IsTheStandardCrc32OfThePathFoldedToLowerCase) {
  // Check values of the standard CRC-32: every build must find the running
  // instance by the same number.
  EXPECT_EQ(profile_identity("123456789"), 0xCBF43926u);
  EXPECT_EQ(profile_identity("ABC"), 0x352441C2u);
  EXPECT_EQ(profile_identity("file://C:\\Users\\Ann\\Zorv Audio Player"),
            profile_identity("file://c:\\users\\ann\\zorv audio player"));
  // Beyond ASCII the system's case mapping decides (A and a with diaeresis).
  EXPECT_EQ(profile_identity("file://D:\\M\xC3\x84RZ"), profile_identity("file://d:\\m\xC3\xA4rz"));
  EXPECT_NE(profile_identity("file://C:\\Zorv\\a"), profile_identity("file://C:\\Zorv\\b"));
  // An undecodable byte ends the text.
  EXPECT_EQ(profile_identity("file://C:\\x\xFFyz"), profile_identity("file://C:\\x"));

  wchar_t name[profile_mutex_name_size];
  profile_mutex_name(0x0012ABCDu, name);
  EXPECT_EQ(std::wstring(name), L"ZORV_0012ABCD");
}

}  // namespace
