#include "core/media_keys.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/app_state.h"
#include "core/command_dispatcher.h"
#include "core/main_menu_group.h"
#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "tests/support/single_factory.h"

namespace {

constexpr GUID play_next = {0xE58895A0, 0xA2F0, 0x45B6, {0x87, 0x99, 0x14, 0x40, 0xE4, 0xDB, 0x72, 0x84}};
constexpr GUID play_prev = {0x059C4566, 0x4708, 0x4EBF, {0x81, 0x39, 0x6A, 0x8E, 0xA5, 0xA9, 0xDF, 0xC8}};
constexpr GUID stop = {0xC3378028, 0x165F, 0x4374, {0x96, 0x6C, 0x2F, 0xA2, 0xE0, 0xFC, 0xD3, 0xA8}};
constexpr GUID pause = {0xFCEF5262, 0x7FA5, 0x452E, {0xA5, 0x27, 0xC1, 0x4E, 0x0C, 0xB5, 0x82, 0xDE}};
constexpr GUID fast_forward = {0x851B8274, 0x2879, 0x43D3, {0xA4, 0x93, 0x23, 0xB2, 0xE9, 0x93, 0xC8, 0x28}};
constexpr GUID rewind = {0xF7AA88F4, 0x057A, 0x4332, {0xBA, 0xE8, 0x5F, 0x64, 0x73, 0x56, 0xC7, 0x2F}};
constexpr GUID not_a_command = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};

std::vector<GUID> commands_run;

// The playback group as the user interface will register it.
class playback_group : public main_menu_group {
public:
  static constexpr GUID commands[] = {play_next, play_prev, stop, pause, fast_forward, rewind};
  std::uint32_t get_command_count() override { return 6; }
  GUID get_command(std::uint32_t index) override { return commands[index]; }
  void get_command_name(std::uint32_t, qiv::string_object& output) override { output.set_string(""); }
  GUID get_parent() override { return GUID{}; }
  void execute(std::uint32_t index, service_handle) override { commands_run.push_back(commands[index]); }
};

class group_dispatcher : public command_dispatcher {
public:
  bool find_context_command(const GUID&, service_handle&, std::uint32_t&) override { return false; }
  bool find_group_command(const GUID& command, service_handle& owner, std::uint32_t& index) override {
    for (std::uint32_t i = 0; i < 6; ++i) {
      if (playback_group::commands[i] == command) {
        owner = &group;
        index = i;
        return true;
      }
    }
    return false;
  }
  service_single_instance<playback_group> group;
};

void play_pause_pressed() { commands_run.push_back(GUID{}); }

LPARAM key(std::uint32_t command, std::uint32_t device_bits = 0) {
  return static_cast<LPARAM>((device_bits | command) << 16);
}

// A key press that cannot count as a repeat of the one before it.
LRESULT press(std::uint32_t command, std::uint32_t device_bits = 0) {
  media_key_handler(key(0));
  return media_key_handler(key(command, device_bits));
}

class MediaKeys : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    service_registry::table().build(list);
    app::state().registry_ready = true;
    commands_run.clear();
  }
  void TearDown() override {
    main_thread_queue::drain(true);
    app::state().registry_ready = false;
    app::state().ui_main_window = nullptr;
    main_window::set_post_play_pause(nullptr);
    service_registry::free();
    qiv::set_main_thread_id(0);
  }
  std::vector<GUID> run_queued() {
    main_thread_queue::drain(true);
    return std::exchange(commands_run, {});
  }
  service_factory* list = nullptr;
  single_factory<group_dispatcher> dispatcher{&list};
};

TEST(MediaKeyRepeatFilter, AHeldKeyActsOnceAndAnotherKeyActsAtOnce) {
  media_key_repeat_filter filter;
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1000));
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1030));
  // Each repeat is measured from the one before, so a held key stays swallowed.
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1079));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_PREVIOUSTRACK, 1080));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1081));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1131));  // 50 ms later: a new press
  // Across the wrap of the tick count.
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_STOP, 0xFFFFFFF0u));
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_STOP, 0x00000010u));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_STOP, 0x00000100u));
}

TEST_F(MediaKeys, PlaybackKeysRunTheirMenuCommandsAfterTheCurrentMessage) {
  const struct {
    std::uint32_t command;
    GUID expected;
  } keys[] = {{APPCOMMAND_MEDIA_NEXTTRACK, play_next},   {APPCOMMAND_MEDIA_PREVIOUSTRACK, play_prev},
              {APPCOMMAND_MEDIA_STOP, stop},             {APPCOMMAND_MEDIA_PAUSE, pause},
              {APPCOMMAND_MEDIA_FAST_FORWARD, fast_forward}, {APPCOMMAND_MEDIA_REWIND, rewind}};
  for (const auto& k : keys) {
    EXPECT_EQ(press(k.command), 1);
    EXPECT_TRUE(commands_run.empty()) << "ran inside the shell-hook message";
    EXPECT_EQ(run_queued(), std::vector<GUID>{k.expected}) << k.command;
  }
  // The device that sent the key does not change it.
  EXPECT_EQ(press(APPCOMMAND_MEDIA_STOP, FAPPCOMMAND_MOUSE), 1);
  EXPECT_EQ(press(APPCOMMAND_MEDIA_NEXTTRACK, FAPPCOMMAND_OEM), 1);
  EXPECT_EQ(run_queued(), (std::vector<GUID>{stop, play_next}));
  // Other application commands are left to the system.
  EXPECT_EQ(press(APPCOMMAND_VOLUME_UP), 0);
  EXPECT_EQ(press(APPCOMMAND_BROWSER_BACKWARD), 0);
  EXPECT_TRUE(run_queued().empty());
}

TEST_F(MediaKeys, NextThenPreviousBothActEvenWhenTheyComeTogether) {
  media_key_handler(key(0));
  EXPECT_EQ(media_key_handler(key(APPCOMMAND_MEDIA_NEXTTRACK)), 1);
  EXPECT_EQ(media_key_handler(key(APPCOMMAND_MEDIA_PREVIOUSTRACK)), 1);
  EXPECT_EQ(run_queued(), (std::vector<GUID>{play_next, play_prev}));
}

TEST_F(MediaKeys, PlayClicksThePlayButtonOfTheMainWindow) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  app::state().ui_main_window = window;
  EXPECT_EQ(press(APPCOMMAND_MEDIA_PLAY), 1);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
  EXPECT_EQ(message.wParam, 1000u);
  EXPECT_EQ(message.lParam, 0);
  DestroyWindow(window);

  // Without a main window there is no button to click; the key is still the program's.
  app::state().ui_main_window = nullptr;
  EXPECT_EQ(press(APPCOMMAND_MEDIA_PLAY), 1);
  EXPECT_TRUE(run_queued().empty());
}

TEST_F(MediaKeys, PlayPauseGoesToTheMainWindowsPlayPause) {
  EXPECT_EQ(press(APPCOMMAND_MEDIA_PLAY_PAUSE), 1);  // nothing installed yet: nothing happens
  EXPECT_TRUE(commands_run.empty());
  main_window::set_post_play_pause(play_pause_pressed);
  EXPECT_EQ(press(APPCOMMAND_MEDIA_PLAY_PAUSE), 1);
  EXPECT_EQ(commands_run.size(), 1u);
}

TEST_F(MediaKeys, OnlyApplicationCommandsOnceTheRegistryIsReadyAreKeys) {
  media_key_handler(key(0));
  EXPECT_FALSE(media_keys_on_shell_hook(HSHELL_WINDOWACTIVATED, key(APPCOMMAND_MEDIA_STOP)));
  app::state().registry_ready = false;
  EXPECT_FALSE(media_keys_on_shell_hook(HSHELL_APPCOMMAND, key(APPCOMMAND_MEDIA_STOP)));
  EXPECT_TRUE(run_queued().empty());
  app::state().registry_ready = true;
  EXPECT_TRUE(media_keys_on_shell_hook(HSHELL_APPCOMMAND, key(APPCOMMAND_MEDIA_NEXTTRACK)));
  EXPECT_EQ(run_queued(), std::vector<GUID>{play_next});
}

TEST_F(MediaKeys, RunningACommandByGuid) {
  EXPECT_TRUE(run_group_command_by_guid(rewind));
  EXPECT_EQ(commands_run, std::vector<GUID>{rewind});
  EXPECT_FALSE(run_group_command_by_guid(not_a_command));

  // A program without its user interface has no dispatcher: nothing runs.
  service_factory* empty_list = nullptr;
  service_registry::table().build(empty_list);
  commands_run.clear();
  EXPECT_FALSE(run_group_command_by_guid(rewind));
  EXPECT_EQ(press(APPCOMMAND_MEDIA_STOP), 1);
  EXPECT_TRUE(run_queued().empty());
}

}  // namespace
