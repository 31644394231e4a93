#include "core/random_source.h"

#include <gtest/gtest.h>

#include <set>

#include "core/service_factory.h"
#include "core/service_registry.h"

namespace {

service_ptr<random_source> create_from_registry() {
  service_registry_table table;
  table.build(service_factory::global_list_head);
  service_handle handle = service_lookup_unique(table, random_source::class_guid);
  return service_query<random_source>(handle.get());
}

TEST(RandomSource, NumbersStayBelowTheBoundAndAnEmptyRangeAnswersZero) {
  service_ptr<random_source> source = create_from_registry();
  ASSERT_NE(dynamic_cast<crypto_random_source*>(source.get()), nullptr);
  source->seed(12345);  // accepted, changes nothing
  for (int i = 0; i < 200; ++i) EXPECT_LT(source->random(10), 10u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(source->random(1), 0u);
  EXPECT_EQ(source->random(0), 0u);
}

TEST(RandomSource, DrawsAreSpreadOverTheWholeRange) {
  service_ptr<random_source> source = create_from_registry();
  std::set<std::uint32_t> seen;
  bool upper_half = false;
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t value = source->random(0xFFFFFFFFu);
    seen.insert(value);
    if (value >= 0x80000000u) upper_half = true;
  }
  // 64 equal draws out of 2^32, or none in the upper half, would mean a
  // broken or narrow source (chance of either about 2^-64).
  EXPECT_GT(seen.size(), 60u);
  EXPECT_TRUE(upper_half);
}

TEST(RandomSource, EachCreateGivesAnObjectWithItsOwnProvider) {
  service_ptr<random_source> first = create_from_registry();
  service_ptr<random_source> second = create_from_registry();
  ASSERT_NE(first.get(), second.get());
  service_handle other;
  EXPECT_FALSE(first->query(other, GUID{1, 2, 3, {4}}));
  // Releasing one leaves the other's provider working.
  first.reset();
  EXPECT_LT(second->random(1000), 1000u);

  // An object made outside the registry works alike; building one here also
  // makes the linker keep the registration for the tests above.
  service_ptr<random_source> direct(new service_counted<crypto_random_source>());
  EXPECT_LT(direct->random(1000), 1000u);
}

} // namespace
