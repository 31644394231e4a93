#include "core/user_interface.h"

#include <gtest/gtest.h>

#include "core/app_exceptions.h"
#include "core/service_registry.h"

namespace {

class test_module : public user_interface {
public:
  void get_name(qiv::string_object& out) override { out.set_string("TEST"); }
  HWND init(window_message_hook) override {
    ++init_calls;
    return window;
  }
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

class module_factory final : public service_factory {
public:
  explicit module_factory(service_factory** list) : service_factory(user_interface::class_guid, list) {}
  void create(service_handle& out) override { out = &module; }
  service_single_instance<test_module> module;
};

class UserInterfaceStart : public ::testing::Test {
protected:
  void TearDown() override {
    release_current_user_interface();
    service_registry::table().clear();
  }
  void build() { service_registry::table().build(list_); }
  service_factory* list_ = nullptr;
};

std::string message_of(void (*start)()) {
  try {
    start();
  } catch (const exception_messagebox& e) {
    return e.what();
  }
  return "";
}

TEST_F(UserInterfaceStart, ChoosesTheModuleWithThisProgramsGuid) {
  module_factory foreign(&list_);
  foreign.module.guid = GUID{1, 2, 3, {4}};
  module_factory ours(&list_);
  build();
  EXPECT_EQ(user_interface_start(), ours.module.window);
  EXPECT_EQ(ours.module.init_calls, 1);
  EXPECT_EQ(foreign.module.init_calls, 0);
  EXPECT_EQ(current_user_interface().get(), &ours.module);
}

TEST_F(UserInterfaceStart, NoMatchingModuleOrNoWindowStopsStartupWithAMessage) {
  module_factory foreign(&list_);
  foreign.module.guid = GUID{1, 2, 3, {4}};
  build();
  EXPECT_EQ(message_of([] { user_interface_start(); }), "No user interface modules installed");

  service_factory* failing_list = nullptr;
  module_factory failing(&failing_list);
  failing.module.window = nullptr;
  service_registry::table().build(failing_list);
  EXPECT_EQ(message_of([] { user_interface_start(); }), "Failed to initialize user interface, exiting.");
  EXPECT_FALSE(current_user_interface());
}

}  // namespace
