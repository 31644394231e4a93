// Menus built from menu nodes and command groups of the test's own, read
// back through GetMenuItemInfoW, and the chosen ids run.
#include "ui/menus/menu_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/localized_text.h"
#include "core/main_menu_group.h"
#include "core/menu_group_def.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "support/menu_reading.h"

namespace {

using test_support::menu_texts;
using test_support::read_menu;

constexpr GUID unshown_parent = {0x6B0E0000, 0x0001, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID test_root = {0x6B0E0000, 0x0002, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID first_section = {0x6B0E0000, 0x0003, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID second_section = {0x6B0E0000, 0x0004, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID disabled_popup = {0x6B0E0000, 0x0005, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID empty_popup = {0x6B0E0000, 0x0006, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID empty_section = {0x6B0E0000, 0x0007, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID deep_popup = {0x6B0E0000, 0x0008, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
// Bound to Ctrl+P in the default shortcut table.
constexpr GUID preferences_command = {0x11213A01, 0x9F36, 0x4E69, {0xA1, 0xBB, 0x7A, 0x72, 0xF4, 0x18, 0xDE, 0x3A}};

template <class Node>
class node_registration final : public service_factory {
public:
  template <class... Name>
  node_registration(const GUID& guid, const GUID& parent, std::int32_t priority, Name... name)
      : service_factory(menu_group_def::class_guid), node_(guid, parent, priority, name...) {}
  void create(service_handle& out) override { out = &node_; }

private:
  service_single_instance<Node> node_;
};

node_registration<menu_group_section> root_node{test_root, unshown_parent, 0};
node_registration<menu_group_section> first_node{first_section, test_root, 0};
node_registration<menu_group_section> second_node{second_section, test_root, 1};
node_registration<menu_group_popup> disabled_node{disabled_popup, test_root, 2, "test_all_off"};
node_registration<menu_group_popup> empty_node{empty_popup, test_root, 3, "test_empty"};
node_registration<menu_group_section> empty_section_node{empty_section, empty_popup, 0};
node_registration<menu_group_popup> deep_node{deep_popup, test_root, 4, "test_deep"};

struct test_command {
  const char* text;
  std::uint32_t flags;
  GUID guid;
};

class test_group : public main_menu_group {
public:
  test_group(GUID parent, std::uint32_t priority, std::vector<test_command> commands)
      : parent_(parent), priority_(priority), commands_(std::move(commands)) {}
  std::uint32_t get_command_count() override { return static_cast<std::uint32_t>(commands_.size()); }
  GUID get_command_guid(std::uint32_t index) override { return commands_[index].guid; }
  void get_command_name(std::uint32_t index, qiv::string_object& output) override {
    output.set_string(commands_[index].text);
  }
  GUID get_parent() override { return parent_; }
  std::uint32_t get_sort_priority() override { return priority_; }
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override {
    text.set_string(commands_[index].text);
    flags = commands_[index].flags;
    return true;
  }
  void execute(std::uint32_t index, service_handle) override { ran.push_back(index); }

  std::vector<std::uint32_t> ran;

private:
  GUID parent_;
  std::uint32_t priority_;
  std::vector<test_command> commands_;
};

GUID numbered(std::uint32_t n) { return {0x6B0E1000 + n, 0, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}}; }

service_factory_single_t<test_group> first_group{
    first_section, 0u, std::vector<test_command>{{"Open", 0, numbered(1)}, {"Rock & Roll", 0, numbered(2)}}};
service_factory_single_t<test_group> second_group{
    second_section, 0u,
    std::vector<test_command>{{"Checked", main_menu_group::flag_checked, numbered(3)},
                              {"Radio", main_menu_group::flag_radio | main_menu_group::flag_checked, numbered(4)},
                              {"Restart", main_menu_group::flag_extended, numbered(5)},
                              {"Preferences", 0, preferences_command}}};
service_factory_single_t<test_group> disabled_group{
    disabled_popup, 0u,
    std::vector<test_command>{{"Off 1", main_menu_group::flag_disabled, numbered(6)},
                              {"Off 2", main_menu_group::flag_disabled, numbered(7)}}};
service_factory_single_t<test_group> deep_group{deep_popup, 0u,
                                                std::vector<test_command>{{"Inside", 0, numbered(8)}}};


class MenuManager : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("test_all_off", "All Off");
    localized_text::set("test_empty", "Empty");
    localized_text::set("test_deep", "Deep");
  }
  static void TearDownTestSuite() { service_registry::free(); }

  void SetUp() override { menu = CreatePopupMenu(); }
  void TearDown() override { DestroyMenu(menu); }

  service_ptr<menu_manager> built(std::uint32_t flags, std::uint32_t first_id = 100, std::uint32_t count = 0x800) {
    auto manager = service_lookup_unique_t<menu_manager>();
    manager->build(test_root);
    result = manager->append_items(menu, first_id, count, flags);
    return manager;
  }

  HMENU menu = nullptr;
  menu_manager::fill_result result = menu_manager::filled_nothing;
};

TEST_F(MenuManager, SectionsAreSetOffByOneSeparatorAndDisabledOrEmptyPopupsCollapse) {
  built(menu_manager::flag_normal | menu_manager::flag_shortcuts);
  EXPECT_EQ(menu_texts(menu),
            (std::vector<std::wstring>{L"Open", L"Rock && Roll", L"-", L"Checked", L"Radio", L"Preferences\tCtrl+P",
                                       L"-", L"All Off\t...", L"Deep"}));
  EXPECT_EQ(result, menu_manager::filled_enabled);
  const auto entries = read_menu(menu);
  EXPECT_TRUE(entries[3].checked());
  EXPECT_TRUE(entries[4].radio() && entries[4].checked()) << "a radio mark instead of a check mark";
  EXPECT_TRUE(entries[7].grayed());
  EXPECT_EQ(entries[7].submenu, nullptr) << "a popup with nothing to choose opens no submenu";
  EXPECT_EQ(entries[7].id, 0u);
  ASSERT_NE(entries[8].submenu, nullptr);
  EXPECT_EQ(menu_texts(entries[8].submenu), std::vector<std::wstring>{L"Inside"});
}

TEST_F(MenuManager, ExtendedCommandsShowOnlyInTheExtendedMenu) {
  built(menu_manager::flag_extended);
  const auto texts = menu_texts(menu);
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(texts[5], L"Restart");
  EXPECT_EQ(texts[6], L"Preferences") << "no shortcut text unless asked for";
}

TEST_F(MenuManager, IdsRunTheirCommandsAfterTheMenuIsGone) {
  auto manager = built(menu_manager::flag_normal, 100);
  const auto entries = read_menu(menu);
  DestroyMenu(menu);
  menu = CreatePopupMenu();
  auto& group = second_group.get_static_instance();
  group.ran.clear();
  EXPECT_TRUE(manager->run(entries[3].id - 100, service_handle()));
  EXPECT_EQ(group.ran, std::vector<std::uint32_t>{0});
  EXPECT_FALSE(manager->run(0x7FF, service_handle()));
}

TEST_F(MenuManager, TooFewIdsAndUnknownNodesAreErrors) {
  EXPECT_THROW(built(menu_manager::flag_normal, 1, 3), qiv::exception_overflow);
  auto manager = service_lookup_unique_t<menu_manager>();
  try {
    manager->build(unshown_parent);
    FAIL() << "no node has that GUID";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Menu group not found");
  }
}

}  // namespace
