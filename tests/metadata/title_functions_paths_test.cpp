#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitlePaths = TitleFunctionTest;

TEST_F(TitlePaths, PartsOfAPath) {
  expect_texts({
      {"$directory(c:\\music\\artist\\album\\01.flac)", "album"},
      {"$directory(c:\\music\\artist\\album\\01.flac,2)", "artist"},
      {"$directory(c:\\music\\artist\\album\\01.flac,5)", "c"},
      {"$directory(/a/b.mp3)", "a"},
      {"$directory(file.mp3)", ""},
      {"$directory(c:\\a\\b.mp3,9)", ""},
      {"$directory($puts(v,1),0)$get(v)", ""},  // n < 1: the path is not evaluated
      {"$directory_path(c:\\music\\a.flac)", "c:\\music"},
      {"$directory_path(a.flac)", ""},
      {"$filename(c:\\music\\song.flac)", "song"},
      {"$filename(archive.zip|inner/track.mp3)", "track"},
      {"$ext(C:\\music\\song.flac)", "flac"},
      {"$ext(.hidden)", "hidden"},
      {"$ext(song)", ""},
      {"$ext(c:\\a.b\\song)", ""},  // a dot in a folder name is no extension
      {"$ext(album.cue?3)", "cue"},
      {"$ext(a.0123456789012345678901234567890123)", ""},  // too long to be one
  });
  expect_truths({{"$directory(file.mp3)", false}, {"$ext(%x%)", false}, {"$ext(%x%.mp3)", true}});
}

}  // namespace
