// What the processor offers: instruction-set features and the processors an
// affinity mask allows.
#include "foundation/cpu_features.h"

#include <gtest/gtest.h>

#include "foundation/cpu_count.h"

namespace {

TEST(CpuFeatures, EmptyRequestIsMetAndUnknownBitsCountAsAbsent) {
  EXPECT_TRUE(cpu_has_features(0));
  // Every machine that builds and runs the tests is a 64-bit-capable x86.
  EXPECT_TRUE(cpu_has_features(cpu_feature_sse | cpu_feature_sse2));
  EXPECT_FALSE(cpu_has_features(256));
  EXPECT_FALSE(cpu_has_features(cpu_feature_sse | 0x80000000u));
}

TEST(CpuCount, SetBitsOfTheLow32BitsOfTheAffinityAndNeverZero) {
  struct { std::uint64_t mask; std::uint32_t count; } cases[] = {
      {0x5, 2}, {0xFFFFFFFF, 32}, {0, 1}, {0xF00000000ull, 1}, {0xF00000003ull, 2}};
  for (const auto& c : cases) EXPECT_EQ(qiv::cpu_count_from_affinity(c.mask), c.count) << std::hex << c.mask;
}

} // namespace
