// The shell's main-menu commands run by GUID, as shortcuts, media keys and a
// second start run them: the web site through the shell (seen through a
// recorder), Exit and Restart through the exit request with its vetoes.
#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "core/command_dispatcher.h"
#include "core/modal_scope.h"
#include "core/service_registry.h"
#include "core/shutdown_approval.h"
#include "foundation/main_thread.h"
#include "ui/dialogs/about_box.h"
#include "ui/menus/help_commands.h"
#include "ui/menus/main_menu_commands.h"

namespace {

struct shell_record {
  int calls = 0;
  HWND owner = nullptr;
  std::string verb, target;
} shell_seen;

void record_shell(HWND owner, const char* verb, const char* target) {
  ++shell_seen.calls;
  shell_seen.owner = owner;
  shell_seen.verb = verb != nullptr ? verb : "";
  shell_seen.target = target;
}

class switchable_approval : public quit_approval {
public:
  bool refuse = false;
  bool may_quit_now() override { return !refuse; }
};
service_factory_single_t<switchable_approval> approval_registration;

// Takes the WM_QUIT an exit request posted, so that it cannot end a later
// message loop of the test program.
bool take_quit_message() {
  MSG message;
  bool seen = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    if (message.message == WM_QUIT) seen = true;
  return seen;
}

class MainMenuCommands : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
  }
  static void TearDownTestSuite() { service_registry::free(); }
  void SetUp() override {
    shell_seen = {};
    set_web_site_shell_call(record_shell);
    app::process_state& s = app::state();
    s.exit_requested = s.restart_requested = s.quitting = false;
    s.ui_main_window = nullptr;
    approval_registration.get_static_instance().refuse = false;
  }
  void TearDown() override {
    set_web_site_shell_call(nullptr);
    take_quit_message();
  }
};

TEST_F(MainMenuCommands, WebSiteOpensTheProjectAddressOwnedByTheMainWindowUnlessAModalWindowIsOpen) {
  const HWND window = CreateWindowExW(0, L"STATIC", L"main", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  app::state().ui_main_window = window;
  ASSERT_TRUE(run_group_command_by_guid(main_menu_command::web_site));
  EXPECT_EQ(shell_seen.calls, 1);
  EXPECT_EQ(shell_seen.owner, window);
  EXPECT_EQ(shell_seen.verb, "open");
  EXPECT_EQ(shell_seen.target, about_box_texts::web_site);

  {
    modal_scope scope;
    scope.enter(nullptr);
    EXPECT_TRUE(run_group_command_by_guid(main_menu_command::web_site));
    EXPECT_EQ(shell_seen.calls, 1) << "a modal window is open: the browser must not come up behind it";
  }
  app::state().ui_main_window = nullptr;
  DestroyWindow(window);
}

TEST_F(MainMenuCommands, ExitAndRestartRequestTheEndAndAVetoKeepsTheProgramRunning) {
  approval_registration.get_static_instance().refuse = true;
  EXPECT_TRUE(run_group_command_by_guid(main_menu_command::exit));
  EXPECT_FALSE(app::state().exit_requested);
  EXPECT_FALSE(take_quit_message());

  approval_registration.get_static_instance().refuse = false;
  EXPECT_TRUE(run_group_command_by_guid(main_menu_command::exit));
  EXPECT_TRUE(app::state().exit_requested);
  EXPECT_FALSE(app::state().restart_requested);
  EXPECT_TRUE(take_quit_message());

  app::state().exit_requested = false;
  EXPECT_TRUE(run_group_command_by_guid(main_menu_command::restart));
  EXPECT_TRUE(app::state().exit_requested);
  EXPECT_TRUE(app::state().restart_requested);
  EXPECT_FALSE(app::state().reset_config_on_restart);
  EXPECT_TRUE(take_quit_message());
}

}  // namespace
