#include "foundation/raw_alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t impossible_size = ~std::size_t(0) - 4096;

TEST(RawAlloc, ZeroBytesGiveNullWithoutAllocating) {
  EXPECT_EQ(qiv::raw_malloc(0), nullptr);
  EXPECT_EQ(qiv::raw_realloc(nullptr, 0), nullptr);
}

TEST(RawAlloc, FailureThrowsInsteadOfReturningNull) {
  EXPECT_THROW(qiv::raw_malloc(impossible_size), std::bad_alloc);
  EXPECT_THROW(qiv::raw_realloc(nullptr, impossible_size), std::bad_alloc);
}

TEST(RawAlloc, ReallocKeepsContentsAndSurvivesFailure) {
  auto* block = static_cast<char*>(qiv::raw_realloc(nullptr, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(qiv::raw_realloc(block, 100000));
  EXPECT_STREQ(block, "abc");
  // The old block must still be usable after a failed growth.
  EXPECT_THROW(qiv::raw_realloc(block, impossible_size), std::bad_alloc);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(qiv::raw_realloc(block, 0), nullptr);
}

} // namespace
