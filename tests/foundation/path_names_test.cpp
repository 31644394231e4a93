#include "foundation/path_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string extension_of(const char* path) {
  char extension[qiv::extension_buffer_size];
  std::memset(extension, 'Z', sizeof extension);
  qiv::filename_extension_offset(path, extension);
  return extension;
}

TEST(ScanFilename, EveryKindOfSeparatorCounts) {
  EXPECT_EQ(qiv::scan_filename("c:\\music\\a.mp3"), 9u);
  EXPECT_EQ(qiv::scan_filename("file://x/y.flac"), 9u);
  EXPECT_EQ(qiv::scan_filename("archive.zip|inner.mp3"), 12u);
  EXPECT_EQ(qiv::scan_filename("c:name"), 2u);
  EXPECT_EQ(qiv::scan_filename("plain.mp3"), 0u);
  EXPECT_EQ(qiv::scan_filename(""), 0u);
  EXPECT_EQ(qiv::scan_filename("c:\\dir\\"), 7u);
}

TEST(StringFilenameExt, NameUpToTheSelector) {
  EXPECT_STREQ(qiv::string_filename_ext("c:\\music\\a.flac").get_ptr(), "a.flac");
  EXPECT_STREQ(qiv::string_filename_ext("c:/music/a.flac?2").get_ptr(), "a.flac");
  EXPECT_STREQ(qiv::string_filename_ext("c:/music/").get_ptr(), "");
}

TEST(StringFilename, DropsTheLastExtensionBeforeAnySelector) {
  EXPECT_STREQ(qiv::string_filename("/x/name.tar.gz").get_ptr(), "name.tar");
  EXPECT_STREQ(qiv::string_filename("c:\\m\\song.mp3?1.5").get_ptr(), "song");
  EXPECT_STREQ(qiv::string_filename("song").get_ptr(), "song");
}

TEST(StringFilename, NameWithoutUsableDotIsKeptWholeWithItsSelector) {
  EXPECT_STREQ(qiv::string_filename("/x/.hidden").get_ptr(), ".hidden");
  EXPECT_STREQ(qiv::string_filename("/x/readme?v.2").get_ptr(), "readme?v.2");
  EXPECT_STREQ(qiv::string_filename("/x/.cue?1").get_ptr(), ".cue?1");
}

TEST(FilenameExtensionOffset, ExtensionWithoutDotOrSelector) {
  EXPECT_EQ(extension_of("c:/music/a.flac?x"), "flac");
  EXPECT_EQ(extension_of("c:\\music\\Album.Name\\track.MP3"), "MP3");
  EXPECT_EQ(extension_of("c:/music/.cue"), "cue");  // a leading dot counts here
  EXPECT_EQ(extension_of("c:/music/a.tar.gz"), "gz");
}

TEST(FilenameExtensionOffset, MissingOrOverlongExtensionLeavesEmptyText) {
  EXPECT_EQ(extension_of("c:/music/readme"), "");
  EXPECT_EQ(extension_of("c:/music.d/readme"), "");  // a dot in a folder is no extension
  EXPECT_EQ(extension_of("c:/music/a."), "");
  EXPECT_EQ(extension_of(("a." + std::string(31, 'x')).c_str()), std::string(31, 'x'));
  EXPECT_EQ(extension_of(("a." + std::string(32, 'x')).c_str()), "");
  EXPECT_EQ(extension_of(("a." + std::string(500, 'x') + "?1").c_str()), "");
}

TEST(StringAddTrailingBackslash, AddsExactlyOne) {
  qiv::string_buffer text("c:\\music");
  qiv::string_add_trailing_backslash(text);
  EXPECT_STREQ(text.get_ptr(), "c:\\music\\");
  qiv::string_add_trailing_backslash(text);
  EXPECT_STREQ(text.get_ptr(), "c:\\music\\");
  qiv::string_buffer empty;
  qiv::string_add_trailing_backslash(empty);
  EXPECT_STREQ(empty.get_ptr(), "\\");
  qiv::string_buffer slash("c:/music/");  // only a backslash counts
  qiv::string_add_trailing_backslash(slash);
  EXPECT_STREQ(slash.get_ptr(), "c:/music/\\");
}

} // namespace
