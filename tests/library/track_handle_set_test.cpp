#include "library/track_handle_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/track_handle_registry.h"

namespace {

std::vector<track_handle_ptr> handles(std::uint32_t count) {
  std::vector<track_handle_ptr> out;
  for (std::uint32_t i = 0; i < count; ++i)
    out.push_back(track_handle_registry::get_handle(
        track_location(("file://C:\\set\\" + std::to_string(i) + ".flac").c_str(), 0)));
  return out;
}

// Removals move later members of a run back; whatever the order of inserts
// and removals, and across growth, every member stays found, none other is,
// and the set's references end with it.
TEST(TrackHandleSet, MembersStayFoundThroughGrowthAndRemovalsAndReferencesEndWithTheSet) {
  const std::vector<track_handle_ptr> all = handles(3000);
  {
    track_handle_set set;
    for (const track_handle_ptr& handle : all) EXPECT_TRUE(set.insert(handle));
    EXPECT_FALSE(set.insert(all[17]));
    for (std::size_t i = 0; i < all.size(); i += 3) EXPECT_TRUE(set.erase(all[i].get()));
    EXPECT_FALSE(set.erase(all[0].get()));
    for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(set.contains(all[i].get()), i % 3 != 0) << i;
    EXPECT_EQ(set.size(), 2000u);
    EXPECT_FALSE(all[1]->is_only_reference());

    track_handle_list listed;
    set.append_to(listed);
    EXPECT_EQ(listed.size(), 2000u);
    track_handle_set moved = std::move(set);
    EXPECT_TRUE(set.empty());
    EXPECT_TRUE(moved.contains(all[1].get()));
    EXPECT_FALSE(set.contains(all[1].get()));
  }
  for (const track_handle_ptr& handle : all) EXPECT_TRUE(handle->is_only_reference());
}

}  // namespace
