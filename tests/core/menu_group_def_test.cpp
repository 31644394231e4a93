#include "core/menu_group_def.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/localized_text.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_small.h"

namespace {

constexpr GUID some_node = {0x01020304, 0x0506, 0x0708, {1, 2, 3, 4, 5, 6, 7, 8}};

std::string popup_name(const menu_popup_group& popup) {
  qiv::string_small name("left over");
  popup.get_name(name);
  return name.get_ptr();
}

TEST(MenuGroupNodes, PopupTitleFollowsTheCurrentLanguageAndIsEmptyWhenItLacksTheId) {
  service_single_instance<menu_group_popup> popup(some_node, GUID{}, 3, "menu_group_file");
  service_handle handle;
  EXPECT_TRUE(popup.query(handle, menu_popup_group::class_guid));
  localized_text::set("menu_group_file", "Fichier");
  EXPECT_EQ(popup_name(popup), "Fichier");
  localized_text::clear();
  EXPECT_EQ(popup_name(popup), "");
}

// The menu builder finds the tree only through the registry: every node must
// be registered under the node class, with a parent it can find.
TEST(MenuGroupRegistrations, FormOneTreeOfNineteenNodesWithFivePopups) {
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
  std::vector<std::string> popup_ids;
  for (const char* id : {"menu_group_file", "menu_group_view", "menu_group_playback", "menu_group_help", "menu_group_theme"})
    localized_text::set(id, id);
  for (auto& node : nodes) {
    EXPECT_EQ(find(node->get_guid()), node.get()) << "GUIDs are distinct";
    const GUID parent = node->get_parent();
    auto popup = service_query<menu_popup_group>(node.get());
    if (popup) popup_ids.push_back(popup_name(*popup));
    if (parent == GUID{}) {
      EXPECT_TRUE(popup) << "only popups open from the menu bar";
    } else if (parent != left_to_other_modules) {
      EXPECT_NE(find(parent), nullptr);
    }
  }
  localized_text::clear();
  std::sort(popup_ids.begin(), popup_ids.end());
  EXPECT_EQ(popup_ids, (std::vector<std::string>{"menu_group_file", "menu_group_help", "menu_group_playback",
                                                 "menu_group_theme", "menu_group_view"}));

  // Negative orders stay negative: preferences (-2) come before exit (-1).
  ASSERT_NE(find(main_menu_node::preferences_section), nullptr);
  EXPECT_EQ(find(main_menu_node::preferences_section)->get_sort_priority(), -2);
  ASSERT_NE(find(main_menu_node::theme), nullptr);
  EXPECT_EQ(find(main_menu_node::theme)->get_parent(), main_menu_node::view);
  EXPECT_NE(find(main_menu_node::library_folders_section), nullptr);
}

}  // namespace
