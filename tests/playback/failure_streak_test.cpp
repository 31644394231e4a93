#include "playback/failure_streak.h"

#include <gtest/gtest.h>

#include "metadata/track_handle_registry.h"

namespace {

service_ptr<playback_item_list> list_of(int count) {
  track_handle_list handles;
  for (int i = 0; i < count; ++i)
    handles.push_back(track_handle_registry::get_handle(track_location(std::to_string(i).c_str(), 0)));
  return playback_item_list_create(handles);
}

// Feeds the outcomes ('x' failed, 'o' played) as items 0, 1, 2 ... of one
// run; answers after how many items the streak covered the list, 0 never.
std::size_t stops_after(const service_ptr<playback_item_list>& source, const char* outcomes) {
  failure_streak streak;
  for (std::size_t i = 0; outcomes[i] != '\0'; ++i)
    if (streak.item_done(source, static_cast<std::int32_t>(i), outcomes[i] == 'x')) return i + 1;
  return 0;
}

TEST(FailureStreak, StopsOnceEveryItemHasFailedInARow) {
  const auto three = list_of(3);
  EXPECT_EQ(stops_after(three, "xxx"), 3u) << "a whole round of failures";
  EXPECT_EQ(stops_after(three, "oxxoxxx"), 7u) << "an item that plays starts the count again";
  EXPECT_EQ(stops_after(three, "xxoxxoxxo"), 0u) << "one playing item in each round goes on for ever";
  // One item repeating, or a shuffled list played round: the same rule.
  EXPECT_EQ(stops_after(list_of(1), "x"), 1u);
  EXPECT_EQ(stops_after(list_of(1), "ooo"), 0u);
  EXPECT_EQ(stops_after(list_of(0), "x"), 1u) << "an item of a list that is now empty";
}

TEST(FailureStreak, CountsEachItemOnceAndStartsAfreshOnANewListOrStart) {
  const auto three = list_of(3), five = list_of(5);
  failure_streak streak;
  EXPECT_FALSE(streak.item_done(three, 0, true));
  EXPECT_FALSE(streak.item_done(three, 0, true)) << "the same engine item told twice";
  EXPECT_FALSE(streak.item_done(three, 1, true));
  EXPECT_FALSE(streak.item_done(five, 2, true)) << "five items to fail now";
  EXPECT_FALSE(streak.item_done(five, 3, true));
  EXPECT_TRUE(streak.item_done(five, 4, true));
  streak.reset();
  EXPECT_FALSE(streak.item_done(three, 0, true)) << "the engine's ids begin again at a new start";
}

}  // namespace
