#include "foundation/text_numbering.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextNumbering, NumbersEachDistinctTextOnceInOrderOfComing) {
  qiv::text_numbering numbers;
  // Prefixes, case variants, inner and trailing NULs, the empty text.
  const std::string texts[] = {"Rock", "rock", "Roc", "", std::string("a\0b", 3), std::string("a\0c", 3), "a",
                               std::string("a\0", 2)};
  for (std::uint32_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(numbers.add(texts[i]), std::make_pair(i, true)) << i;
  for (std::uint32_t i = 0; i < std::size(texts); ++i) {
    EXPECT_EQ(numbers.add(texts[i]), std::make_pair(i, false)) << i;
    EXPECT_EQ(numbers.text(i), texts[i]) << i;
  }

  // Enough texts to grow the table several times: every one keeps its number.
  for (std::uint32_t i = 0; i < 5000; ++i) numbers.add("text " + std::to_string(i));
  for (std::uint32_t i = 0; i < 5000; ++i)
    ASSERT_EQ(numbers.add("text " + std::to_string(i)), std::make_pair(static_cast<std::uint32_t>(std::size(texts) + i), false));
  EXPECT_EQ(numbers.size(), std::size(texts) + 5000);

  numbers.clear();
  EXPECT_EQ(numbers.size(), 0u);
  EXPECT_EQ(numbers.add("Rock"), std::make_pair(0u, true));
}

}  // namespace
