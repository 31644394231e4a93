#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitlePaths = TitleFunctionTest;

TEST_F(TitlePaths, DirectoryClimbsOneFolderPerLevel) {
  EXPECT_EQ(run("$directory(c:\\music\\artist\\album\\01.flac)"), "album");
  EXPECT_EQ(run("$directory(c:\\music\\artist\\album\\01.flac,2)"), "artist");
  EXPECT_EQ(run("$directory(c:\\music\\artist\\album\\01.flac,5)"), "c");
  EXPECT_EQ(run("$directory(/a/b.mp3)"), "a");
  EXPECT_EQ(run("$directory(file.mp3)"), "");
  EXPECT_FALSE(truth_of("$directory(file.mp3)"));
  EXPECT_EQ(run("$directory(c:\\a\\b.mp3,9)"), "");
  EXPECT_EQ(run("$directory(c:\\a\\b.mp3,0)"), "");
  EXPECT_EQ(run("$directory($puts(v,1),0)$get(v)"), "");
}

TEST_F(TitlePaths, DirectoryPathStopsBeforeTheLastSeparator) {
  EXPECT_EQ(run("$directory_path(c:\\music\\a.flac)"), "c:\\music");
  EXPECT_EQ(run("$directory_path(a.flac)"), "");
}

TEST_F(TitlePaths, FilenameDropsFoldersAndExtension) {
  EXPECT_EQ(run("$filename(c:\\music\\song.flac)"), "song");
  EXPECT_EQ(run("$filename(archive.zip|inner/track.mp3)"), "track");
}

TEST_F(TitlePaths, ExtensionOfTheFileNamePart) {
  EXPECT_EQ(run("$ext(C:\\music\\song.flac)"), "flac");
  EXPECT_EQ(run("$ext(.hidden)"), "hidden");
  EXPECT_EQ(run("$ext(song)"), "");
  EXPECT_FALSE(truth_of("$ext(%x%)"));
  EXPECT_EQ(run("$ext(c:\\a.b\\song)"), "");
  EXPECT_EQ(run("$ext(album.cue?3)"), "cue");
  EXPECT_EQ(run("$ext(a.0123456789012345678901234567890123)"), "");
}

}  // namespace
