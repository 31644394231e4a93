#include "foundation/cpu_count.h"

#include <gtest/gtest.h>

#include <bit>

#include <windows.h>

namespace {

TEST(CpuCount, CountsTheSetBitsOfTheAffinityMask) {
  EXPECT_EQ(qiv::cpu_count_from_affinity(0x5), 2u);
  EXPECT_EQ(qiv::cpu_count_from_affinity(0x1), 1u);
  EXPECT_EQ(qiv::cpu_count_from_affinity(0xFFFFFFFF), 32u);
}

TEST(CpuCount, AnEmptyMaskStillGivesOneProcessor) {
  EXPECT_EQ(qiv::cpu_count_from_affinity(0), 1u);
  // Only the low 32 bits count.
  EXPECT_EQ(qiv::cpu_count_from_affinity(0xF00000000ull), 1u);
  EXPECT_EQ(qiv::cpu_count_from_affinity(0xF00000003ull), 2u);
}

TEST(CpuCount, FollowsTheProcessAffinity) {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask));
  EXPECT_EQ(qiv::cpu_count(), static_cast<std::uint32_t>(std::popcount(static_cast<std::uint32_t>(process_mask))));
  EXPECT_GE(qiv::cpu_count(), 1u);
}

} // namespace
