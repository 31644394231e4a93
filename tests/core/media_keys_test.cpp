#include "core/media_keys.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/command_dispatcher.h"
#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "tests/support/single_factory.h"

namespace {

using texts = std::vector<std::string>;

constexpr char next_command[] = "{E58895A0-A2F0-45B6-8799-1440E4DB7284}";
constexpr char stop_command[] = "{C3378028-165F-4374-966C-2FA2E0FCD3A8}";
texts commands_asked;

// Sees which commands the keys ask for; offers none (zorv.exe's media key
// test runs them).
struct recording_key_dispatcher : command_dispatcher {
  bool find_context_command(const GUID&, service_handle&, std::uint32_t&) override { return false; }
  bool find_group_command(const GUID& command, service_handle&, std::uint32_t&) override {
    wchar_t text[40] = {};
    StringFromGUID2(command, text, 40);
    commands_asked.emplace_back(text, text + 38);
    return false;
  }
};

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
    commands_asked.clear();
  }
  void TearDown() override {
    main_thread_queue::drain(true);
    app::state().registry_ready = false;
    service_registry::free();
    qiv::set_main_thread_id(0);
  }
  texts run_queued() {
    main_thread_queue::drain(true);
    return std::exchange(commands_asked, {});
  }
  service_factory* list = nullptr;
  single_factory<recording_key_dispatcher> dispatcher{&list};
};

TEST(MediaKeyRepeatFilter, AHeldKeyActsOnceAndAnotherKeyActsAtOnce) {
  media_key_repeat_filter filter;
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1000));
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1030));
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1079));  // measured from the repeat before
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_PREVIOUSTRACK, 1080));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_NEXTTRACK, 1081));
  EXPECT_FALSE(filter.is_repeat(APPCOMMAND_MEDIA_STOP, 0xFFFFFFF0u));
  EXPECT_TRUE(filter.is_repeat(APPCOMMAND_MEDIA_STOP, 0x00000010u));  // across the wrap of the tick count
}

// Next-then-previous at once and the shell-hook notifications are run
// through zorv.exe by the black-box media key test.
TEST_F(MediaKeys, PlaybackKeysRunTheirMenuCommandsAfterTheCurrentMessage) {
  const std::pair<std::uint32_t, const char*> keys[] = {
      {APPCOMMAND_MEDIA_NEXTTRACK, next_command},
      {APPCOMMAND_MEDIA_PREVIOUSTRACK, "{059C4566-4708-4EBF-8139-6A8EA5A9DFC8}"},
      {APPCOMMAND_MEDIA_STOP, stop_command},
      {APPCOMMAND_MEDIA_PAUSE, "{FCEF5262-7FA5-452E-A527-C14E0CB582DE}"},
      {APPCOMMAND_MEDIA_FAST_FORWARD, "{851B8274-2879-43D3-A493-23B2E993C828}"},
      {APPCOMMAND_MEDIA_REWIND, "{F7AA88F4-057A-4332-BAE8-5F647356C72F}"}};
  for (const auto& [command, expected] : keys) {
    EXPECT_EQ(press(command), 1);
    EXPECT_TRUE(commands_asked.empty()) << "ran inside the shell-hook message";
    EXPECT_EQ(run_queued(), texts{expected}) << command;
  }
  // The device that sent the key does not change it.
  EXPECT_EQ(press(APPCOMMAND_MEDIA_STOP, FAPPCOMMAND_MOUSE), 1);
  EXPECT_EQ(press(APPCOMMAND_MEDIA_NEXTTRACK, FAPPCOMMAND_OEM), 1);
  EXPECT_EQ(run_queued(), (texts{stop_command, next_command}));
  // Other application commands are left to the system, and so is every key
  // before the registry is ready.
  EXPECT_EQ(press(APPCOMMAND_VOLUME_UP), 0);
  app::state().registry_ready = false;
  EXPECT_FALSE(media_keys_on_shell_hook(HSHELL_APPCOMMAND, key(APPCOMMAND_MEDIA_STOP)));
  EXPECT_TRUE(run_queued().empty());
  // A program without its user interface has no dispatcher: keys run nothing.
  service_registry::table().build(nullptr);
  app::state().registry_ready = true;
  EXPECT_EQ(press(APPCOMMAND_MEDIA_STOP), 1);
  EXPECT_TRUE(run_queued().empty());
}

}  // namespace
