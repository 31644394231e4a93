// GUID equality looks at every one of the 16 bytes.
#include <gtest/gtest.h>

#include "foundation/guid_equal.h"

namespace {

TEST(GuidEqual, EveryByteCounts) {
  const GUID a = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  GUID b = a;
  EXPECT_TRUE(qiv::guid_equal(a, b));
  b.Data4[7] = 17;
  EXPECT_FALSE(qiv::guid_equal(a, b));
  b = a;
  b.Data1 ^= 0x80000000;
  EXPECT_FALSE(qiv::guid_equal(a, b));
}

} // namespace
