#include "core/user_interface.h"

#include <gtest/gtest.h>

#include <string>

#include "core/app_exceptions.h"
#include "core/service_registry.h"

namespace {

struct test_module : user_interface {
  void get_name(qiv::string_object& out) override { out.set_string("TEST"); }
  HWND init(window_message_hook) override { return ++init_calls, window; }
  void shutdown() override {}
  void activate() override {}
  void hide() override {}
  bool is_visible() override { return false; }
  GUID get_guid() override { return guid; }
  void reveal_now_playing() override {}

  GUID guid = zorv_module_guid;
  HWND window = reinterpret_cast<HWND>(0x1234);
  int init_calls = 0;
};

struct module_factory final : service_factory {
  explicit module_factory(service_factory** list) : service_factory(user_interface::class_guid, list) {}
  void create(service_handle& out) override { out = &module; }
  service_single_instance<test_module> module;
};

std::string message_of(service_factory* list) {
  service_registry::table().build(list);
  try {
    user_interface_start();
  } catch (const exception_messagebox& e) {
    return e.what();
  }
  return "";
}

TEST(UserInterfaceStart, ChoosesTheModuleWithThisProgramsGuidAndStopsStartupWithoutOne) {
  service_factory* list = nullptr;
  module_factory foreign(&list);
  foreign.module.guid = GUID{1, 2, 3, {4}};
  EXPECT_EQ(message_of(list), "No user interface modules installed");
  module_factory ours(&list);
  EXPECT_EQ(message_of(list), "");
  EXPECT_EQ(ours.module.init_calls, 1);
  EXPECT_EQ(foreign.module.init_calls, 0);
  EXPECT_EQ(current_user_interface().get(), &ours.module);
  release_current_user_interface();

  service_factory* failing_list = nullptr;
  module_factory failing(&failing_list);
  failing.module.window = nullptr;
  EXPECT_EQ(message_of(failing_list), "Failed to initialize user interface, exiting.");
  EXPECT_FALSE(current_user_interface());
  service_registry::table().clear();
}

}  // namespace
