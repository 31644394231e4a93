// Commands and context-menu groups found by GUID and by path, through the
// registrations of the program's user interface.
#include "ui/menus/command_lookup.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/command_dispatcher.h"
#include "core/main_menu_group.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "ui/menus/context_menu_group_def.h"
#include "ui/menus/context_menu_tree.h"

namespace {

constexpr GUID first_command = {0x5C0B1F3E, 0x1111, 0x4A1A, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID added_later = {0x5C0B1F3E, 0x2222, 0x4A1A, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID context_command = {0x5C0B1F3E, 0x3333, 0x4A1A, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID twice_defined = {0x5C0B1F3E, 0x4444, 0x4A1A, {1, 2, 3, 4, 5, 6, 7, 8}};

// A group that changes its commands while the program runs, as the theme
// group may.
class changing_group : public main_menu_group {
public:
  std::vector<GUID> commands{first_command};
  int runs_of_last = 0;
  std::uint32_t get_command_count() override { return static_cast<std::uint32_t>(commands.size()); }
  GUID get_command_guid(std::uint32_t index) override { return commands[index]; }
  void get_command_name(std::uint32_t, qiv::string_object& output) override { output.set_string("x"); }
  GUID get_parent() override { return GUID{}; }
  std::uint32_t get_sort_priority() override { return 0; }
  void execute(std::uint32_t index, service_handle) override {
    if (index + 1 == commands.size()) ++runs_of_last;
  }
};
service_factory_single_t<changing_group> changing_group_registration;

class recording_item : public context_menu_item {
public:
  std::size_t tracks_seen = 0;
  GUID caller_seen = {};
  std::uint32_t get_count() override { return 1; }
  GUID get_guid(std::uint32_t) override { return context_command; }
  void get_name(std::uint32_t, qiv::string_object& output) override { output.set_string("Record"); }
  double get_priority() override { return 0; }
  GUID get_parent() override { return context_menu_groups::trailing; }
  void execute(std::uint32_t, const track_handle_list& tracks, const GUID& caller) override {
    tracks_seen = tracks.size();
    caller_seen = caller;
  }
};
service_factory_single_t<recording_item> recording_item_registration;

class test_group : public context_menu_group_def {
public:
  explicit test_group(double priority) : priority_(priority) {}
  GUID get_guid() override { return twice_defined; }
  GUID get_parent_guid() override { return context_menu_groups::root; }
  double get_priority() override { return priority_; }

private:
  double priority_;
};
service_factory_single_t<test_group> twice_defined_a{1.0};
service_factory_single_t<test_group> twice_defined_b{2.0};

class CommandLookup : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
  }
  static void TearDownTestSuite() { service_registry::free(); }
};

// Runs first: the group index is built once, by the first lookup on the main
// thread, and the scan of other threads is only seen before that.
TEST_F(CommandLookup, AGroupDefinedTwiceIsTheLastThroughTheIndexAndTheFirstOffTheMainThread) {
  std::vector<double> registry_order;
  for (auto& group : service_list_t<context_menu_group_def>())
    if (group->get_guid() == twice_defined) registry_order.push_back(group->get_priority());
  ASSERT_EQ(registry_order.size(), 2u);
  double off_main = 0;
  std::thread([&] { off_main = find_context_menu_group(twice_defined)->get_priority(); }).join();
  EXPECT_EQ(off_main, registry_order.front());
  EXPECT_EQ(find_context_menu_group(twice_defined)->get_priority(), registry_order.back());
  EXPECT_FALSE(find_context_menu_group(added_later));
}

TEST_F(CommandLookup, GroupPathsIgnoreCaseAndStartBelowTheTopGroup) {
  const auto tree = service_lookup_unique_t<context_menu_tree>();
  EXPECT_EQ(tree->find_group_by_path("tagging"), context_menu_groups::tagging);
  EXPECT_EQ(tree->find_group_by_path("TAGGING"), context_menu_groups::tagging);
  EXPECT_EQ(tree->find_group_by_path("ReplayGain"), context_menu_groups::replaygain);
  EXPECT_EQ(tree->find_group_by_path(""), context_menu_groups::root);
  EXPECT_EQ(tree->find_group_by_path("Root/Tagging"), GUID{});
  qiv::string_small path;
  tree->get_group_path(context_menu_groups::replaygain, path);
  EXPECT_STREQ(path.get_ptr(), "Root/ReplayGain");
  tree->get_group_path(context_menu_groups::trailing, path);
  EXPECT_STREQ(path.get_ptr(), "Root") << "an unnamed group adds no name";
  tree->get_group_path(added_later, path);
  EXPECT_STREQ(path.get_ptr(), "");
}

TEST_F(CommandLookup, MainMenuCommandsAreFoundAlsoWhenTheirGroupChangedAfterTheIndexWasBuilt) {
  auto& group = changing_group_registration.get_static_instance();
  EXPECT_FALSE(run_group_command_by_guid(added_later));
  EXPECT_TRUE(run_group_command_by_guid(first_command));
  EXPECT_EQ(group.runs_of_last, 1);

  group.commands = {added_later, first_command};
  EXPECT_TRUE(run_group_command_by_guid(first_command)) << "moved to another index";
  EXPECT_EQ(group.runs_of_last, 2);
  group.commands = {first_command, added_later};
  EXPECT_TRUE(run_group_command_by_guid(added_later)) << "not in the index at all";
  EXPECT_EQ(group.runs_of_last, 3);
  group.commands = {first_command};
}

TEST_F(CommandLookup, ContextCommandsRunOnTheTracksTheCallerGivesAndOnlyWithoutASubcommand) {
  auto& item = recording_item_registration.get_static_instance();
  const track_handle_list two_tracks(2);
  EXPECT_FALSE(run_context_command_by_guid(added_later, GUID{}, two_tracks, GUID{}));
  EXPECT_TRUE(run_context_command_by_guid(context_command, GUID{}, two_tracks, context_menu_caller::main_list));
  EXPECT_EQ(item.tracks_seen, 2u);
  EXPECT_EQ(item.caller_seen, context_menu_caller::main_list);
  item.tracks_seen = 0;
  run_context_command_by_guid(context_command, added_later, two_tracks, GUID{});
  EXPECT_EQ(item.tracks_seen, 0u) << "no command of this program has subcommands";

  // The menu's node for the command: nothing to show without tracks.
  std::unique_ptr<context_menu_item_node> node(item.create_node(0, two_tracks, GUID{}));
  qiv::string_small text;
  std::uint32_t flags = 0;
  EXPECT_TRUE(node->get_display(text, flags, two_tracks, GUID{}));
  EXPECT_STREQ(text.get_ptr(), "Record");
  EXPECT_FALSE(node->get_display(text, flags, track_handle_list(), GUID{}));
}

}  // namespace
