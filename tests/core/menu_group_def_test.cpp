#include "core/menu_group_def.h"

#include <gtest/gtest.h>

#include "core/localized_text.h"
#include "core/preferences_menu_group.h"
#include "core/service_registry.h"
#include "core/startup_services.h"
#include "foundation/crash.h"
#include "foundation/string_small.h"

namespace {

// Nothing builds the menu yet; when something does, it will find the tree
// only through the registry: every node registered under the node class,
// with a parent it can find, and popups named in the current language.
TEST(MenuGroupRegistrations, FormOneTreeOfNineteenNodes) {
  service_single_instance<menu_group_popup> popup(GUID{}, GUID{}, 0, "menu_group_file");
  localized_text::set("menu_group_file", "Fichier");
  qiv::string_small name;
  popup.get_name(name);
  localized_text::clear();
  EXPECT_STREQ(name.get_ptr(), "Fichier");
  service_registry_table table;
  table.build(service_factory::global_list_head);
  const auto nodes = service_list_t<menu_group_def>(table);
  ASSERT_EQ(nodes.get_count(), 19u);
  auto find = [&](const GUID& guid) -> menu_group_def* {
    for (auto& node : nodes)
      if (node->get_guid() == guid) return node.get();
    return nullptr;
  };
  // No definition here provides this parent; other modules may.
  const GUID left_to_other_modules = {0x8CDA6B10, 0x0613, 0x4CFD, {0x87, 0x30, 0x3B, 0x9C, 0xBF, 0x4C, 0x6A, 0x39}};
  for (auto& node : nodes) {
    EXPECT_EQ(find(node->get_guid()), node.get()) << "GUIDs are distinct";
    const GUID parent = node->get_parent();
    if (parent == GUID{}) {
      EXPECT_TRUE(service_query<menu_popup_group>(node.get())) << "only popups open from the menu bar";
    } else if (parent != left_to_other_modules) {
      EXPECT_NE(find(parent), nullptr);
    }
  }
}

// Priorities compare unsigned, so the sections registered with negative
// priorities (preferences -2, exit -1) come after everything else in File.
TEST(MenuGroupRegistrations, NegativePrioritiesSortLastAndMinusOneAfterMinusTwo) {
  service_single_instance<menu_group_section> zero(GUID{}, GUID{}, 0), half(GUID{}, GUID{}, INT32_MIN);
  service_single_instance<menu_group_section> minus_two(GUID{}, GUID{}, -2), minus_one(GUID{}, GUID{}, -1);
  EXPECT_LT(zero.get_sort_priority(), half.get_sort_priority());
  EXPECT_LT(half.get_sort_priority(), minus_two.get_sort_priority());
  EXPECT_LT(minus_two.get_sort_priority(), minus_one.get_sort_priority());
}

// An index past the one command means the caller's menu is corrupt: the
// process stops rather than run or name some other command.
TEST(PreferencesMenuGroupDeathTest, CommandIndexPastTheOneCommandIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  service_single_instance<preferences_menu_group> group;
  const int fatal = static_cast<int>(qiv::crash_exception_code);
  EXPECT_EXIT((crash_handler::install(), group.get_command_guid(1)), ::testing::ExitedWithCode(fatal), "");
  EXPECT_EXIT((crash_handler::install(), group.execute(0xFFFFFFFF, {})), ::testing::ExitedWithCode(fatal), "");
}

}  // namespace
