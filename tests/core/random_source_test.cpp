#include "core/random_source.h"

#include <gtest/gtest.h>

#include <set>

#include "core/service_registry.h"

namespace {

TEST(RandomSource, TheRegisteredSourceStaysBelowTheBoundAndSpreadsOverTheWholeRange) {
  service_ptr<random_source> linked(new service_counted<crypto_random_source>());  // keeps the registration linked
  service_registry_table table;
  table.build(service_factory::global_list_head);
  service_ptr<random_source> source =
      service_query<random_source>(service_lookup_unique(table, random_source::class_guid).get());
  ASSERT_TRUE(source);
  for (int i = 0; i < 200; ++i) EXPECT_LT(source->random(10), 10u);
  EXPECT_EQ(source->random(1), 0u);
  EXPECT_EQ(source->random(0), 0u);
  std::set<std::uint64_t> seen;
  for (int i = 0; i < 64; ++i) seen.insert(source->random(0xFFFFFFFFu));
  const bool upper_half = *seen.rbegin() >= 0x80000000u;
  // Either failing by chance has odds of about 2^-64: it means a broken or narrow source.
  EXPECT_GT(seen.size(), 60u);
  EXPECT_TRUE(upper_half);
}

}  // namespace
