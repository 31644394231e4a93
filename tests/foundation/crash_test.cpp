#include "foundation/crash.h"

#include <gtest/gtest.h>

namespace {

// That the installed crash handler sees the crash code is driven in core.
TEST(CrashDeathTest, EndsTheProcessEvenWithoutAHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(qiv::crash(), [](int code) { return code != 0; }, "");
}

} // namespace
