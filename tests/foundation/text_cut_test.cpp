// Texts cut to fit fields of fixed size: never inside a character.
#include "foundation/text_cut.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string e_acute = "\xC3\xA9", smiley = "\xF0\x9F\x98\x80";

std::string repeated(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

TEST(Utf8Cut, EndsBeforeTheCharacterTheLimitFallsInAndKeepsWhatFits) {
  const std::string accents = repeated(e_acute, 200);
  EXPECT_EQ(qiv::utf8_cut_length(accents.data(), accents.size(), 255), 254u);
  EXPECT_EQ(qiv::utf8_cut_length(accents.data(), accents.size(), 254), 254u);
  const std::string smileys = "a" + repeated(smiley, 100);  // the limit falls at every offset of a character
  for (std::size_t limit : {253u, 254u, 255u, 256u})
    EXPECT_EQ(qiv::utf8_cut_length(smileys.data(), smileys.size(), limit), 253u) << limit;
  EXPECT_EQ(qiv::utf8_cut_length(smileys.data(), smileys.size(), 257), 257u);
  EXPECT_EQ(qiv::utf8_cut_length(smileys.data(), smileys.size(), 0), 0u);
  EXPECT_EQ(qiv::utf8_cut_length(accents.data(), 9, 9), 9u);  // fits whole, even ending in half a character
}

TEST(Utf8Cut, BytesThatAreNoUtf8AreCutLikeSingleBytes) {
  const std::string stray = "ab\x80\x80\x80\x80\x80\x80" "cd";
  EXPECT_EQ(qiv::utf8_cut_length(stray.data(), stray.size(), 5), 5u);
  const std::string lone_lead = "ab\xC3" "cd";
  EXPECT_EQ(qiv::utf8_cut_length(lone_lead.data(), lone_lead.size(), 3), 3u);
}

TEST(CodePageCut, EndsOnAWholeCharacterOfTheCodePage) {
  constexpr unsigned shift_jis = 932, utf8 = 65001, western = 1252;
  const std::string kana_after_a = "a\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86";  // "a" and three kana
  EXPECT_EQ(qiv::utf8_to_code_page_cut(kana_after_a.data(), kana_after_a.size(), shift_jis, 6),
            "a\x82\xA0\x82\xA2");  // no lone lead byte to swallow what follows
  EXPECT_EQ(qiv::utf8_to_code_page_cut(kana_after_a.data(), kana_after_a.size(), shift_jis, 7),
            "a\x82\xA0\x82\xA2\x82\xA4");
  const std::string smiley_after_ab = "ab" + smiley;  // a surrogate pair on the way
  EXPECT_EQ(qiv::utf8_to_code_page_cut(smiley_after_ab.data(), smiley_after_ab.size(), utf8, 5), "ab");
  EXPECT_EQ(qiv::utf8_to_code_page_cut(smiley_after_ab.data(), smiley_after_ab.size(), utf8, 6), smiley_after_ab);
  const std::string ete = e_acute + "t" + e_acute;
  EXPECT_EQ(qiv::utf8_to_code_page_cut(ete.data(), ete.size(), western, 2), "\xE9t");
}

}  // namespace
