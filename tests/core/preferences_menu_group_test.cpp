#include "core/preferences_menu_group.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/menu_group_def.h"
#include "core/service_registry.h"
#include "core/startup_services.h"
#include "core/ui_control.h"
#include "foundation/crash.h"

namespace {

std::vector<GUID> opened_pages;

class recording_ui_control : public ui_control {
public:
  void show_preferences(const GUID& page) override { opened_pages.push_back(page); }
};

class ui_control_factory final : public service_factory {
public:
  explicit ui_control_factory(service_factory** list) : service_factory(ui_control::class_guid, list) {}
  void create(service_handle& out) override { out = &instance; }
  service_single_instance<recording_ui_control> instance;
};

TEST(PreferencesMenuGroup, IsRegisteredWithItsOneCommandUnderThePreferencesSection) {
  service_single_instance<preferences_menu_group> linked;  // keeps the registration in this program
  service_registry_table table;
  table.build(service_factory::global_list_head);
  int found = 0;
  for (auto& group : service_list_t<main_menu_group>(table)) {
    if (group->get_command(0) != preferences_menu_group::command_guid) continue;
    ++found;
    EXPECT_EQ(group->get_command_count(), 1u);
    EXPECT_EQ(group->get_parent(), main_menu_node::preferences_section);
  }
  EXPECT_EQ(found, 1);
}

TEST(PreferencesMenuGroup, RunningOpensThePreferencesWithoutChoosingAPageAndNeedsNoUserInterface) {
  service_single_instance<preferences_menu_group> group;
  opened_pages.clear();
  EXPECT_NO_THROW(group.execute(0, {}));  // registry not built
  service_registry::table().build(nullptr);
  EXPECT_NO_THROW(group.execute(0, {}));  // no user interface registered
  EXPECT_TRUE(opened_pages.empty());

  service_factory* list = nullptr;
  ui_control_factory ui(&list);
  service_registry::table().build(list);
  group.execute(0, {});
  service_registry::table().clear();
  ASSERT_EQ(opened_pages.size(), 1u);
  EXPECT_EQ(opened_pages[0], GUID{});
}

// An index past the one command means the caller's menu is corrupt: the
// process stops rather than run or name some other command.
TEST(PreferencesMenuGroupDeathTest, CommandIndexPastTheOneCommandIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  service_single_instance<preferences_menu_group> group;
  const int fatal = static_cast<int>(qiv::crash_exception_code);
  EXPECT_EXIT((crash_handler::install(), group.get_command(1)), ::testing::ExitedWithCode(fatal), "");
  EXPECT_EXIT((crash_handler::install(), group.execute(0xFFFFFFFF, {})), ::testing::ExitedWithCode(fatal), "");
}

}  // namespace
