#include "foundation/ampersand_escape.h"

#include <gtest/gtest.h>

namespace {

// Tooltips take one level of "&" away before the control takes its own, so
// a run of n needs 2n + 1 to show as n.
TEST(AmpersandEscape, MenusDoubleEachOneAndTooltipsGiveEveryRunTwiceItsLengthPlusOne) {
  EXPECT_EQ(escape_ampersands("A&B"), "A&&B");
  EXPECT_EQ(escape_ampersands("&&"), "&&&&");
  EXPECT_EQ(escape_ampersands(""), "");
  EXPECT_EQ(escape_ampersands_for_tooltip("A&B"), "A&&&B");
  EXPECT_EQ(escape_ampersands_for_tooltip("A&&B"), "A&&&&&B");
  EXPECT_EQ(escape_ampersands_for_tooltip("&x&"), "&&&x&&&");
  EXPECT_EQ(escape_ampersands_for_tooltip("plain"), "plain");
}

}  // namespace
