#include "foundation/path_parent.h"

#include <gtest/gtest.h>

namespace {

const char* parent(const char* path) {
  static qiv::string_buffer result;
  result = qiv::path_parent(path);
  return result.get_ptr();
}

TEST(PathParent, CutsAtTheLastSeparatorOfAnyKind) {
  EXPECT_STREQ(parent("a\\b"), "a");
  EXPECT_STREQ(parent("C:\\Music\\Album\\01.flac"), "C:\\Music\\Album");
  EXPECT_STREQ(parent("C:/Music/a.mp3"), "C:/Music");
  EXPECT_STREQ(parent("C:\\disc.iso|track01.wav"), "C:\\disc.iso");
  EXPECT_STREQ(parent("C:\\Music\\"), "C:\\Music");
}

TEST(PathParent, KeepsTheSeparatorThatEndsADriveOrScheme) {
  EXPECT_STREQ(parent("C:\\x"), "C:\\");
  EXPECT_STREQ(parent("file://x"), "file://");
  EXPECT_STREQ(parent("file://C:\\x"), "file://C:\\");
}

TEST(PathParent, APrefixAloneOrANameAloneHasNoParent) {
  EXPECT_STREQ(parent("C:\\"), "");
  EXPECT_STREQ(parent("file://"), "");
  EXPECT_STREQ(parent("a.mp3"), "");
  EXPECT_STREQ(parent(""), "");
  EXPECT_STREQ(parent("\\a"), "");
}

} // namespace
