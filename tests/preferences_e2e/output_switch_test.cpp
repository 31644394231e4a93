// Choosing another output device on the playback page while a track plays:
// Apply stores the device and the output reopens on it, and the capture goes
// on with the track where it was.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/advanced_settings_registrations.h"
#include "core/config_item_registrations.h"
#include "core/hidden_main_window.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "playback/playback_front.h"
#include "resources/preferences_dialogs.h"
#include "support/capture_wav.h"
#include "support/message_pump.h"
#include "support/signal_input.h"
#include "ui/dialogs/preferences_dialog.h"
#include "ui/preferences_test_environment.h"

namespace {

service_factory_single_t<signal_test::signal_input> signal_input_registration;
constexpr GUID playback_page = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};

// The source frames of each device stream in the capture, in order.
std::vector<std::vector<std::int64_t>> captured_frames_per_stream() {
  std::vector<std::vector<std::int64_t>> streams;
  for (const std::vector<float>& samples : capture_wav::read_streams()) {
    streams.emplace_back();
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
      const std::int64_t frame = signal_test::frame_of(samples[i], samples[i + 1]);
      if (frame >= 0) streams.back().push_back(frame);
    }
  }
  return streams;
}

TEST(OutputSwitch, ApplyingAnotherDeviceWhilePlayingReopensTheOutputAndPlaybackGoesOn) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  hidden_main_window::create();
  preferences_test::start_environment();
  for (advanced_setting_integer* fade : {&advanced_settings::fade_on_seek_ms, &advanced_settings::fade_out_ms,
                                         &advanced_settings::fade_on_pause_ms})
    fade->set_state("0", 1);
  capture_wav::remove();
  playback_front_impl& front = playback_front_get();
  front.on_init();

  const char* path = "C:\\switch\\long.sig";
  signal_test::signal_table::get().set(path, {0, 48000 * 20});
  playback_order::get().reset();
  playback_order::get().set_source(playback_item_list_create({track_handle_registry::get_handle(track_location(path, 0))}));
  front.start(command_play, false);
  ASSERT_TRUE(pump_until([&] { return front.get_position() > 0.5; }, 20000));

  preferences_dialog::open(&playback_page);
  pump_until([] { return false; }, 200);
  const HWND dialog = preferences_dialog::window();
  const HWND page = preferences_test::page_with_control(dialog, IDC_PLAYBACK_DEVICE);
  ASSERT_NE(page, nullptr);
  const HWND combo = GetDlgItem(page, IDC_PLAYBACK_DEVICE);
  const auto current = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
  ASSERT_GE(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  const int other = current == 0 ? 1 : 0;
  SendMessageW(combo, CB_SETCURSEL, other, 0);
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PLAYBACK_DEVICE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  const double switched_at = front.get_position();
  SendDlgItemMessageW(dialog, IDC_PREFERENCES_APPLY, BM_CLICK, 0, 0);
  EXPECT_NE(config::output_device.get(), GUID{}) << "the other device is stored";
  EXPECT_TRUE(front.is_playing());
  ASSERT_TRUE(pump_until([&] { return front.get_position() > switched_at + 1.0; }, 20000)) << "playback goes on";
  DestroyWindow(dialog);
  front.stop();
  pump_until([] { return false; }, 500);

  const auto streams = captured_frames_per_stream();
  ASSERT_GE(streams.size(), 2u) << "the output was opened again";
  const std::vector<std::int64_t>& after = streams.back();
  ASSERT_FALSE(after.empty()) << "the new device plays";
  EXPECT_GT(after.front(), 48000 / 2) << "from where the track was, not from its start";
  EXPECT_GT(after.back() - after.front(), 48000 / 2) << "and goes on";
  config::output_device.set(GUID{});
}

}  // namespace
