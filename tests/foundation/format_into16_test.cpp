// Short labels never write past their 16-byte buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/format_into16.h"

namespace {

TEST(FormatInto16, FormatsShortLabels) {
  char buffer[16];
  qiv::format_into16(buffer, "index %02u", 7u);
  EXPECT_STREQ(buffer, "index 07");
  qiv::format_into16(buffer, "%.5u BPM", 120u);
  EXPECT_STREQ(buffer, "00120 BPM");
}

TEST(FormatInto16, CutsLongResultsWithinSixteenBytes) {
  char buffer[20];
  std::memset(buffer, '#', sizeof(buffer));
  qiv::format_into16(buffer, "%s", "a label far longer than sixteen bytes");
  EXPECT_EQ(std::strlen(buffer), 15u);
  EXPECT_EQ(buffer[16], '#');
}

} // namespace
