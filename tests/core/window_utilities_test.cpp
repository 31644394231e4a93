#include "core/window_utilities.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// A context deleted twice could take a handle the system has since reused.
TEST(MemoryDc, ResetDeletesTheContextOnceAndTheDestructorFindsNothingLeft) {
  const HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  {
    memory_dc holder(dc);
    holder.reset();
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u);
    holder.reset();
  }
  const HDC owned = CreateCompatibleDC(nullptr);
  { memory_dc holder(owned); }
  EXPECT_EQ(GetObjectType(owned), 0u);
}

}  // namespace
