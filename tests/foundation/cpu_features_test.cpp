// Instruction-set features and the processors an affinity mask allows.
#include "foundation/cpu_features.h"

#include <gtest/gtest.h>

#include "foundation/cpu_count.h"

namespace {

// That this machine's features are found is driven through the sample conversion in playback.
TEST(CpuFeatures, EmptyRequestIsMetAndUnknownBitsCountAsAbsent) {
  EXPECT_TRUE(cpu_has_features(0));
  EXPECT_FALSE(cpu_has_features(cpu_feature_sse | 0x80000000u));
}

TEST(CpuCount, SetBitsOfTheLow32BitsOfTheAffinityAndNeverZero) {
  struct { std::uint64_t mask; std::uint32_t count; } cases[] = {
      {0x5, 2}, {0xFFFFFFFF, 32}, {0, 1}, {0xF00000000ull, 1}, {0xF00000003ull, 2}};
  for (const auto& c : cases) EXPECT_EQ(qiv::cpu_count_from_affinity(c.mask), c.count) << std::hex << c.mask;
}

} // namespace
