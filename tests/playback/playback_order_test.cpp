#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/track_handle_registry.h"
#include "playback/playback_order.h"

namespace {

// Five items "0".."4"; an answer is the path of the item handed out, "-" for none.
class PlaybackOrder : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* path : {"0", "1", "2", "3", "4"})
      handles.push_back(track_handle_registry::get_handle(track_location(path, 0)));
    order.set_source(playback_item_list_create(handles));
  }

  std::string next(std::uint32_t command) {
    service_ptr<playback_item> item;
    if (!order.get_next(command, item)) return "-";
    return item->get_handle()->get_location().get_path();
  }
  void set_current(int index) {
    order.set_current(index < 0 ? service_ptr<playback_item>() : order.get_source()->find(handles[index].get()));
  }

  track_handle_list handles;
  playback_order_api order;
};

struct command_case {
  const char* why;
  int current;  // -1: none
  bool repeat;
  std::uint32_t command;
  const char* expected;
};

TEST_F(PlaybackOrder, CommandsPickFromTheCurrentItem) {
  const command_case cases[] = {
      {"play replays the current item", 2, false, command_play, "2"},
      {"play without a current item starts at the first", -1, false, command_play, "0"},
      {"next moves on", 2, false, command_next, "3"},
      {"next at the end stops", 4, false, command_next, "-"},
      {"next at the end wraps with repeat", 4, true, command_next, "0"},
      {"next without a current item takes the first", -1, false, command_next, "0"},
      {"previous moves back", 2, false, command_previous, "1"},
      {"previous at the start stops", 0, false, command_previous, "-"},
      {"previous at the start wraps with repeat", 0, true, command_previous, "4"},
      {"previous without a current item takes the last", -1, false, command_previous, "4"},
      {"continue goes on after the current item", 1, false, command_continue, "2"},
      {"continue past the end wraps with repeat", 4, true, command_continue, "0"},
      {"continue with nothing played starts at the first item", -1, false, command_continue, "0"},
      {"an unknown command answers nothing", 2, true, 7, "-"},
  };
  for (const command_case& c : cases) {
    order.reset();
    order.set_source(playback_item_list_create(handles));
    order.set_repeat(c.repeat);
    set_current(c.current);
    EXPECT_EQ(next(c.command), c.expected) << c.why;
  }
}

// Continue walks on from the item handed out last, while the current item
// stays until the front end announces the next one.
TEST_F(PlaybackOrder, ContinueWalksAheadOfTheCurrentItem) {
  set_current(1);
  EXPECT_EQ(next(command_play), "1");
  EXPECT_EQ(next(command_continue), "2");
  EXPECT_EQ(next(command_continue), "3");
  EXPECT_EQ(order.get_current()->get_handle().get(), handles[1].get());
}

TEST_F(PlaybackOrder, EmptyOrResetSourceAnswersNothing) {
  order.reset();
  for (std::uint32_t command : {command_continue, command_play, command_next, command_previous})
    EXPECT_EQ(next(command), "-") << command;
}

}  // namespace
