// Names, extensions and parents of paths, and matching names to wildcards.
#include "foundation/path_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/path_parent.h"
#include "foundation/wildcard.h"

namespace {

std::string extension_of(const std::string& path) {
  char extension[qiv::extension_buffer_size];
  std::memset(extension, 'Z', sizeof extension);
  qiv::filename_extension_offset(path.c_str(), extension);
  return extension;
}

TEST(PathNames, NamePartsAfterAnySeparatorBeforeAnySelectorAndParentsKeepTheRootSeparator) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {qiv::string_filename_ext("c:/music/a.flac?2").get_ptr(), "a.flac", "up to the selector"},
      {qiv::string_filename("/x/name.tar.gz").get_ptr(), "name.tar", "only the last extension"},
      {qiv::string_filename("c:\\m\\song.mp3?1.5").get_ptr(), "song", "a dot in the selector is no extension"},
      {qiv::string_filename("/x/.hidden").get_ptr(), ".hidden", "a leading dot is kept"},
      {qiv::string_filename("/x/readme?v.2").get_ptr(), "readme?v.2", "no usable dot: the whole rest"},
      {extension_of("a." + std::string(31, 'x')), std::string(31, 'x'), "the longest that fits"},
      {extension_of("a." + std::string(32, 'x')), "", "too long for the buffer"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
  struct { const char* path; const char* parent; } parents[] = {
      {"C:\\disc.iso|track01.wav", "C:\\disc.iso"}, {"C:\\x", "C:\\"}, {"file://C:\\x", "file://C:\\"},
      {"C:\\", ""}, {"file://", ""}, {"\\a", ""},
  };
  for (const auto& c : parents) EXPECT_STREQ(qiv::path_parent(c.path).get_ptr(), c.parent) << c.path;
}

TEST(Wildcard, MatchesWholeCodePointsIgnoringCaseInLinearTime) {
  struct { const char* name; const char* pattern; bool first_mask_only; bool matches; const char* why; } cases[] = {
      {".mp3", "*.mp3", false, true, "a star matches nothing too"},
      {"Track01.MP3x", "*.mp3", false, false, ""},
      {"a\xC3\xA9.ogg", "a?.ogg", false, true, "? is one code point, not one byte"},
      {"\xD0\x9F\xD0\x95\xD0\xA1\xD0\x9D\xD0\xAF.flac", "\xD0\xBF\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F.*", false, true,
       "case beyond ASCII"},
      {"x.flac", "*.flac;*.mp3", true, true, "with the flag only the first mask counts"},
      {"x.mp3", "*.flac;*.mp3", true, false, ""},
      {"x.flac;y.mp3", "*.flac;*.mp3", false, true, "without it ; is an ordinary character"},
      {"ab\xFF" "cd", "ab", false, true, "invalid UTF-8 ends the text"},
      {"ab\xFF" "cd", "ab?cd", false, false, ""},
      {"ab", "ab\xFF*", false, true, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qiv::wildcard_match(c.name, c.pattern, c.first_mask_only), c.matches) << c.name << " " << c.pattern << " " << c.why;
  EXPECT_TRUE(qiv::has_wildcards("track?.wav"));
  EXPECT_FALSE(qiv::has_wildcards("C:\\Music\\a.mp3"));
  const std::string text(2000, 'a');  // backtracking into every star would try about 2000^10 splits
  EXPECT_FALSE(qiv::wildcard_match(text.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", false));
  EXPECT_TRUE(qiv::wildcard_match((text + "b").c_str(), "*a*a*a*a*a*a*a*a*a*a*b", false));
}

} // namespace
