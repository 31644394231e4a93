// Allocation that throws instead of answering null, and never wraps a size.
#include "foundation/checked_alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/raw_alloc.h"

namespace {

// More than a 32-bit process can ever get in one block, without overflowing.
constexpr std::size_t impossible_bytes = 0xFFFFFFF0u;

TEST(CheckedAlloc, ProductsThatWrapAndSizesThatCannotBeMetThrow) {
  EXPECT_EQ(qiv::mul_checked(0, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(qiv::mul_checked(0x3FFFFFFFu, 4), 0xFFFFFFFCu);
  try {
    qiv::mul_checked(1u << 30, 4);
    FAIL() << "no exception";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_THROW(qiv::mul_checked(0x10000, 0x10000), std::bad_alloc);
  EXPECT_THROW(qiv::alloc_array16(0x10000000u), std::bad_alloc);
  EXPECT_THROW(qiv::array_alloc_checked(nullptr, 0x10000000u), std::bad_alloc);
  EXPECT_THROW(qiv::checked_malloc(impossible_bytes), std::bad_alloc);
  EXPECT_THROW(qiv::raw_malloc(impossible_bytes), std::bad_alloc);
  for (void* nothing : {qiv::checked_malloc(0), qiv::alloc_array16(0), qiv::mem_realloc_checked(nullptr, 0),
                        qiv::raw_malloc(0), qiv::raw_realloc(nullptr, 0)})
    EXPECT_EQ(nothing, nullptr);
}

TEST(CheckedAlloc, ResizingKeepsContentsAFailureKeepsTheOldBlockAndZeroFrees) {
  using resize = void* (*)(void*, std::size_t);
  for (resize realloc_bytes : {resize(qiv::mem_realloc_checked), resize(qiv::raw_realloc)}) {
    auto* block = static_cast<char*>(realloc_bytes(nullptr, 4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(realloc_bytes(block, 100000));
    EXPECT_STREQ(block, "abc");
    EXPECT_THROW(realloc_bytes(block, impossible_bytes), std::bad_alloc);
    EXPECT_STREQ(block, "abc");
    EXPECT_EQ(realloc_bytes(block, 0), nullptr);
  }
  void* words = qiv::alloc_array32(nullptr, 3);
  std::memset(words, 0xAB, 12);  // all 12 bytes are there
  EXPECT_THROW(qiv::alloc_array32(words, 0x40000000u), std::bad_alloc);
  EXPECT_EQ(qiv::alloc_array32(words, 0), nullptr);
}

TEST(CheckedAlloc, InPlaceResizeOfSixteenByteElements) {
  EXPECT_TRUE(qiv::alloc_array_16(nullptr, 0));
  EXPECT_FALSE(qiv::alloc_array_16(nullptr, 1));
  void* block = qiv::alloc_array16(8);
  EXPECT_FALSE(qiv::alloc_array_16(block, 0));  // the caller frees instead
  EXPECT_TRUE(qiv::alloc_array_16(block, 2));   // shrinking never needs to move
  std::memset(block, 0, 32);
  EXPECT_THROW(qiv::alloc_array_16(block, 0x10000000u), std::bad_alloc);
  std::free(block);
}

} // namespace
