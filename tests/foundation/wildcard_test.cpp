#include "foundation/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Wildcard, StarMatchesAnyRunIncludingNone) {
  EXPECT_TRUE(qiv::wildcard_match("Track01.MP3", "*.mp3", false));
  EXPECT_TRUE(qiv::wildcard_match(".mp3", "*.mp3", false));
  EXPECT_TRUE(qiv::wildcard_match("", "*", false));
  EXPECT_TRUE(qiv::wildcard_match("a.b.mp3", "*.*", false));
  EXPECT_TRUE(qiv::wildcard_match("cover front.jpg", "cover*.jpg", false));
  EXPECT_FALSE(qiv::wildcard_match("Track01.MP3x", "*.mp3", false));
  EXPECT_FALSE(qiv::wildcard_match("Track01.mp", "*.mp3", false));
}

TEST(Wildcard, QuestionMarkMatchesExactlyOneCodePoint) {
  EXPECT_TRUE(qiv::wildcard_match("a1.ogg", "a?.ogg", false));
  EXPECT_TRUE(qiv::wildcard_match("a\xC3\xA9.ogg", "a?.ogg", false));       // é is two bytes, one code point
  EXPECT_TRUE(qiv::wildcard_match("\xE9\x9F\xB3.ogg", "?.ogg", false));    // a three-byte CJK character
  EXPECT_FALSE(qiv::wildcard_match("a.ogg", "a?.ogg", false));
  EXPECT_FALSE(qiv::wildcard_match("a12.ogg", "a?.ogg", false));
}

TEST(Wildcard, LettersMatchWithoutRegardToCaseBeyondAscii) {
  EXPECT_TRUE(qiv::wildcard_match("FOLDER.JPG", "folder.jpg", false));
  // ПЕСНЯ against песня
  EXPECT_TRUE(qiv::wildcard_match("\xD0\x9F\xD0\x95\xD0\xA1\xD0\x9D\xD0\xAF.flac",
                                  "\xD0\xBF\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F.*", false));
  EXPECT_FALSE(qiv::wildcard_match("folder.jpg", "folder.png", false));
  EXPECT_FALSE(qiv::wildcard_match("", "a", false));
  EXPECT_FALSE(qiv::wildcard_match("a", "", false));
}

TEST(Wildcard, WithTheFlagOnlyTheFirstMaskOfAListCounts) {
  EXPECT_TRUE(qiv::wildcard_match("x.flac", "*.flac;*.mp3", true));
  EXPECT_FALSE(qiv::wildcard_match("x.mp3", "*.flac;*.mp3", true));
  // Without the flag the semicolon is an ordinary character.
  EXPECT_FALSE(qiv::wildcard_match("x.flac", "*.flac;*.mp3", false));
  EXPECT_TRUE(qiv::wildcard_match("x.flac;y.mp3", "*.flac;*.mp3", false));
}

TEST(Wildcard, InvalidUtf8EndsTheTextInsteadOfLooping) {
  EXPECT_TRUE(qiv::wildcard_match("ab\xFF" "cd", "ab", false));
  EXPECT_TRUE(qiv::wildcard_match("ab\xFF", "*", false));
  EXPECT_FALSE(qiv::wildcard_match("ab\xFF" "cd", "ab?cd", false));
  EXPECT_TRUE(qiv::wildcard_match("ab", "ab\xFF*", false));
}

TEST(Wildcard, ManyStarsDoNotTakeExponentialTime) {
  // Backtracking into every star would try about 2000^10 splits here.
  const std::string text(2000, 'a');
  EXPECT_FALSE(qiv::wildcard_match(text.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", false));
  EXPECT_TRUE(qiv::wildcard_match((text + "b").c_str(), "*a*a*a*a*a*a*a*a*a*a*b", false));
  EXPECT_TRUE(qiv::wildcard_match("song.mp3.part", "*.mp3*", false));
  EXPECT_FALSE(qiv::wildcard_match("song.mp", "*.mp?", false));
}

TEST(Wildcard, DetectsWildcardCharacters) {
  EXPECT_TRUE(qiv::has_wildcards("*.mp3"));
  EXPECT_TRUE(qiv::has_wildcards("track?.wav"));
  EXPECT_FALSE(qiv::has_wildcards("C:\\Music\\a.mp3"));
  EXPECT_FALSE(qiv::has_wildcards(""));
}

} // namespace
