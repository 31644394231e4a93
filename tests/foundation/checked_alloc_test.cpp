#include "foundation/checked_alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// More than a 32-bit process can ever get in one block, without overflowing.
constexpr std::size_t impossible_bytes = 0xFFFFFFF0u;

TEST(CheckedAlloc, MultiplicationRefusesWrappingProducts) {
  EXPECT_EQ(qiv::mul_checked(0, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(qiv::mul_checked(0x3FFFFFFFu, 4), 0xFFFFFFFCu);
  try {
    qiv::mul_checked(1u << 30, 4);
    FAIL() << "no exception";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_THROW(qiv::mul_checked(0x10000, 0x10000), std::bad_alloc);
}

TEST(CheckedAlloc, ZeroBytesAllocateNothing) {
  EXPECT_EQ(qiv::checked_malloc(0), nullptr);
  EXPECT_EQ(qiv::alloc_array16(0), nullptr);
  EXPECT_EQ(qiv::mem_realloc_checked(nullptr, 0), nullptr);
}

TEST(CheckedAlloc, ReallocAllocatesFreshKeepsContentsAndFreesAtZero) {
  auto* block = static_cast<char*>(qiv::mem_realloc_checked(nullptr, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(qiv::mem_realloc_checked(block, 4000));
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(qiv::mem_realloc_checked(block, 0), nullptr);
}

TEST(CheckedAlloc, FailedReallocLeavesTheOldBlockValid) {
  auto* block = static_cast<char*>(qiv::mem_realloc_checked(nullptr, 4));
  std::memcpy(block, "abc", 4);
  EXPECT_THROW(qiv::mem_realloc_checked(block, impossible_bytes), std::bad_alloc);
  EXPECT_STREQ(block, "abc");
  std::free(block);
  EXPECT_THROW(qiv::checked_malloc(impossible_bytes), std::bad_alloc);
}

TEST(CheckedAlloc, ElementCountsAreScaledWithTheOverflowCheck) {
  void* words = qiv::alloc_array32(nullptr, 3);
  std::memset(words, 0xAB, 12);  // all 12 bytes are there
  EXPECT_THROW(qiv::alloc_array32(words, 0x40000000u), std::bad_alloc);
  EXPECT_EQ(qiv::alloc_array32(words, 0), nullptr);

  EXPECT_THROW(qiv::alloc_array16(0x10000000u), std::bad_alloc);
  EXPECT_THROW(qiv::array_alloc_checked(nullptr, 0x10000000u), std::bad_alloc);
  void* records = qiv::array_alloc_checked(nullptr, 2);
  std::memset(records, 0, 32);
  EXPECT_EQ(qiv::array_alloc_checked(records, 0), nullptr);
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
