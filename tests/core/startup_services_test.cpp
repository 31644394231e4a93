// What start-up and shutdown reach through services of the layers above.
#include "core/startup_services.h"

#include <gtest/gtest.h>

#include <string>

#include "core/app_lifecycle_callback.h"
#include "core/preferences_window_source.h"
#include "core/service_registry.h"

namespace {

std::string calls;

struct recording_startup_callback : app_lifecycle_callback {
  void on_init() override { calls += name + "+"; }
  void on_quit() override { calls += name + "-"; }
  std::string name;
};

struct callback_factory final : service_factory {
  callback_factory(service_factory** list, const char* name) : service_factory(app_lifecycle_callback::class_guid, list) {
    callback.name = name;
  }
  void create(service_handle& out) override { out = &callback; }
  service_single_instance<recording_startup_callback> callback;
};

struct window_source : preferences_window_source {
  HWND open_window() override { return window; }
  HWND window = nullptr;
};

struct window_source_factory final : service_factory {
  explicit window_source_factory(service_factory** list) : service_factory(preferences_window_source::class_guid, list) {}
  void create(service_handle& out) override { out = &source; }
  service_single_instance<window_source> source;
};

TEST(StartupServices, EveryLifecycleCallbackHearsStartAndQuitAndAnOpenPreferencesWindowIsClosed) {
  service_factory* list = nullptr;
  callback_factory first(&list, "a");
  callback_factory second(&list, "b");
  window_source_factory preferences(&list);
  service_registry::table().build(list);

  calls.clear();
  lifecycle_callbacks::on_init();
  lifecycle_callbacks::on_quit();
  std::string quit_order = calls.substr(0, 4);
  for (char& c : quit_order)
    if (c == '+') c = '-';
  EXPECT_TRUE(calls == "a+b+" + quit_order || calls == "b+a+" + quit_order)
      << "each callback hears both, quit in the registry's order as start: " << calls;

  preferences_dialog::destroy_if_open();  // nothing open: nothing happens
  preferences.source.window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(preferences.source.window, nullptr);
  preferences_dialog::destroy_if_open();
  EXPECT_FALSE(IsWindow(preferences.source.window));
  service_registry::table().clear();
}

}  // namespace
