#include "foundation/cpu_features.h"

#include <gtest/gtest.h>

namespace {

TEST(CpuFeatures, EmptyRequestIsAlwaysMet) { EXPECT_TRUE(cpu_has_features(0)); }

TEST(CpuFeatures, ProcessorsThatRunThisTestHaveSseAndSse2) {
  // Every machine that builds and runs the tests is a 64-bit-capable x86.
  EXPECT_TRUE(cpu_has_features(cpu_feature_sse | cpu_feature_sse2));
}

TEST(CpuFeatures, UnknownBitsCountAsAbsent) {
  EXPECT_FALSE(cpu_has_features(256));
  EXPECT_FALSE(cpu_has_features(cpu_feature_sse | 0x80000000u));
}

} // namespace
