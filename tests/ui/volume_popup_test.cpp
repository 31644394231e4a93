// The volume slider and its popup as the user meets them: the wheel, the
// keys and a drag on the slider set the playback volume, and the slider
// follows volume changes made elsewhere.
#include "ui/controls/volume_popup.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "playback/playback_front.h"
#include "support/screen_capture.h"
#include "ui/controls/theme.h"
#include "ui/controls/volume_scale.h"
#include "ui/controls/volume_slider.h"

namespace {

using volume_scale::decibels_of_position;
using volume_scale::position_of_decibels;

TEST(VolumeScale, PositionsAndVolumesMapBothWays) {
  EXPECT_FLOAT_EQ(decibels_of_position(0), 0.0f);
  EXPECT_FLOAT_EQ(decibels_of_position(50), -10.0f);
  EXPECT_FLOAT_EQ(decibels_of_position(100), -100.0f);
  EXPECT_FLOAT_EQ(decibels_of_position(250), -100.0f) << "past the bottom is silence";
  EXPECT_NEAR(decibels_of_position(30), -5.146f, 0.001f);
  EXPECT_EQ(position_of_decibels(0.0f), 0u);
  EXPECT_EQ(position_of_decibels(-10.0f), 50u);
  EXPECT_EQ(position_of_decibels(-100.0f), 100u);
  EXPECT_EQ(position_of_decibels(6.0f), 0u) << "above 0 dB shows at the top";
  EXPECT_EQ(position_of_decibels(NAN), 100u);
  for (std::uint32_t p = 0; p <= 100; ++p) EXPECT_EQ(position_of_decibels(decibels_of_position(p)), p);
  EXPECT_DOUBLE_EQ(volume_slider::fraction_at(100, 10, 0), 0.0);
  EXPECT_DOUBLE_EQ(volume_slider::fraction_at(100, 10, 50), 0.5);
  EXPECT_DOUBLE_EQ(volume_slider::fraction_at(100, 10, 95), 1.0);
  EXPECT_DOUBLE_EQ(volume_slider::fraction_at(20, 10, 5), -1.0) << "no usable height";
}

// Steps run one per timer tick from inside the popup's own loop.
std::vector<std::function<void()>> steps;
std::size_t next_step = 0;
void CALLBACK run_next_step(HWND, UINT, UINT_PTR timer, DWORD) {
  if (next_step >= steps.size()) return;
  KillTimer(nullptr, timer);
  steps[next_step++]();
  if (next_step < steps.size()) SetTimer(nullptr, 0, 30, run_next_step);
}

class VolumePopup : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"Volume", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 300,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    SetForegroundWindow(parent);
  }
  void TearDown() override {
    DestroyWindow(parent);
    set_current_theme(theme_ids::classic);
  }
  // Runs the popup under a point of the parent with the steps, each on a
  // tick of its own.
  void run_popup(std::vector<std::function<void()>> with_steps) {
    steps = std::move(with_steps);
    next_step = 0;
    SetTimer(nullptr, 0, 30, run_next_step);
    volume_popup::run(parent, {250, 150});
  }
  static std::uint32_t slider_position() {
    return static_cast<std::uint32_t>(SendMessageW(volume_popup::open_slider(), TBM_GETPOS, 0, 0));
  }
  static float volume() { return playback_front_get().get_volume(); }

  HWND parent = nullptr;
};

TEST_F(VolumePopup, WheelKeysAndDragSetTheVolumeAndTheSliderFollowsChangesFromElsewhere) {
  playback_front_get().set_volume(0.0f);
  set_current_theme(theme_ids::black);
  // Three notches towards the user, posted before the popup opens: its loop
  // takes them from the queue whichever window they were sent to.
  for (int i = 0; i < 3; ++i) PostMessageW(parent, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
  bool quit_seen = false;
  run_popup({
      [&] {
        EXPECT_EQ(slider_position(), 30u);
        EXPECT_NEAR(volume(), -5.146f, 0.001f);
        RECT popup = {};
        GetWindowRect(GetParent(volume_popup::open_slider()), &popup);
        EXPECT_EQ((popup.left + popup.right) / 2, 250) << "centred under the anchor";
        EXPECT_EQ(popup.top, 150);
        SendMessageW(volume_popup::open_slider(), WM_KEYDOWN, VK_DOWN, 0);
      },
      [&] {
        EXPECT_EQ(slider_position(), 31u);
        EXPECT_FLOAT_EQ(volume(), decibels_of_position(31));
        // A drag to the middle of the usable height: the volume follows
        // while the button is down.
        RECT client = {};
        GetClientRect(volume_popup::open_slider(), &client);
        const int margin = client.right / 3;
        const int middle = margin + (client.bottom - 2 * margin) / 2;
        SendMessageW(volume_popup::open_slider(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right / 2, 2));
        SendMessageW(volume_popup::open_slider(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.right / 2, middle));
      },
      [&] {
        EXPECT_NEAR(static_cast<double>(slider_position()), 50.0, 1.0);
        EXPECT_FLOAT_EQ(volume(), decibels_of_position(slider_position()));
        SendMessageW(volume_popup::open_slider(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
      },
      [&] {
        EXPECT_EQ(slider_position(), 0u);
        EXPECT_FLOAT_EQ(volume(), 0.0f);
        playback_front_get().set_volume(-10.0f);  // a shortcut or a media key
        EXPECT_EQ(slider_position(), 50u);
        test_support::screen_capture shot(GetParent(volume_popup::open_slider()));
        shot.save("volume_popup_black");
        EXPECT_EQ(shot.client_pixel(1, 1), RGB(0, 0, 0)) << "the black theme's background";
        PostQuitMessage(7);
      },
  });
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    if (message.message == WM_QUIT) quit_seen = message.wParam == 7;
  EXPECT_TRUE(quit_seen) << "the quit request reaches the outer loop";
  EXPECT_EQ(volume_popup::open_slider(), nullptr);
  EXPECT_FLOAT_EQ(volume(), -10.0f);
}

TEST_F(VolumePopup, EscapeOrClickingElsewhereClosesWithoutChangingTheVolume) {
  playback_front_get().set_volume(-10.0f);
  run_popup({[&] {
    EXPECT_EQ(slider_position(), 50u);
    PostMessageW(volume_popup::open_slider(), WM_KEYDOWN, VK_ESCAPE, 0);
  }});
  EXPECT_EQ(volume_popup::open_slider(), nullptr);
  run_popup({[&] { SetActiveWindow(parent); }});
  EXPECT_EQ(volume_popup::open_slider(), nullptr);
  EXPECT_FLOAT_EQ(volume(), -10.0f);
}

}  // namespace
