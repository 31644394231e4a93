// The ReplayGain settings as the user meets them in their panel: the slider
// scale and its labels, what the panel shows for stored settings and what it
// gives back, the change notices its parent hears, and the settings reaching
// the configuration.
#include "ui/dialogs/replaygain_settings.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/separator_control.h"
#include "foundation/code_page_text.h"
#include "io/localization.h"
#include "resources/preferences_dialogs.h"
#include "support/screen_capture.h"
#include "ui/dialogs/replaygain_slider_scale.h"

namespace {

using namespace replaygain_slider_scale;

TEST(ReplayGainSliderScale, PositionsAndLabelsCoverMinusToPlusTwentyDecibelsInTenths) {
  EXPECT_EQ(label_of_position(215), "+1.5dB");
  EXPECT_EQ(label_of_position(0), "-20.0dB");
  EXPECT_EQ(label_of_position(200), "\xC2\xB1" "0.0dB");
  EXPECT_EQ(label_of_position(195), "-0.5dB");
  EXPECT_EQ(position_of_decibels(-0.04f), 200) << "rounds to the nearest tenth";
  EXPECT_EQ(position_of_decibels(0.25f), 203) << "halves round up";
  EXPECT_EQ(position_of_decibels(-0.25f), 198);
  EXPECT_EQ(position_of_decibels(1.5f), 215);
  EXPECT_EQ(position_of_decibels(25.0f), 400) << "beyond the range sits at its end";
  EXPECT_EQ(position_of_decibels(-1e30f), 0);
  EXPECT_EQ(position_of_decibels(NAN), 200);
  EXPECT_FLOAT_EQ(decibels_of_position(400), 20.0f);
  EXPECT_FLOAT_EQ(decibels_of_position(0), -20.0f);
}

// The parent of the panel, counting the change notices it is posted.
int notices = 0;
HWND noticed_panel = nullptr;
LRESULT CALLBACK parent_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && LOWORD(wparam) == 122 && HIWORD(wparam) == 0) {
    ++notices;
    noticed_panel = reinterpret_cast<HWND>(lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool is_checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

std::string item_text(HWND dialog, int id) {
  wchar_t text[128] = {};
  GetDlgItemTextW(dialog, id, text, 128);
  return qiv::utf16_to_utf8(text, std::char_traits<wchar_t>::length(text));
}

class ReplayGainPanel : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    separator_control::register_class();
    localization_loader loader;
    localization_load_builtin(loader, 0x409);
    install_language_table(std::move(loader.table));
    WNDCLASSW description = {};
    description.lpfnWndProc = parent_procedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"ZorvPanelParent";
    description.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&description);
  }
  void SetUp() override {
    parent = CreateWindowExW(WS_EX_CONTROLPARENT, L"ZorvPanelParent", L"ReplayGain", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             60, 60, 620, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    notices = 0;
  }
  void TearDown() override { DestroyWindow(parent); }

  HWND make_panel(const playback_gain_settings& record) {
    HWND panel = replaygain_settings_service().create_panel(record, parent, 122);
    ShowWindow(panel, SW_SHOW);
    return panel;
  }
  playback_gain_settings read(HWND panel) {
    playback_gain_settings out{9, 9, 9.0f, 9.0f};
    replaygain_settings_service().read_panel(panel, out);
    return out;
  }
  int position(HWND panel, int id) { return static_cast<int>(SendDlgItemMessageW(panel, id, TBM_GETPOS, 0, 0)); }

  HWND parent = nullptr;
};

TEST_F(ReplayGainPanel, DefaultsShowAlbumModeOnAndBothPreampsAtZero) {
  const playback_gain_settings defaults = replaygain_settings_service().get_defaults();
  HWND panel = make_panel(defaults);
  EXPECT_EQ(GetDlgCtrlID(panel), 122);
  EXPECT_TRUE(is_checked(panel, IDC_REPLAYGAIN_ACTIVE));
  EXPECT_TRUE(is_checked(panel, IDC_REPLAYGAIN_ALBUM));
  EXPECT_FALSE(is_checked(panel, IDC_REPLAYGAIN_TRACK));
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITH_VALUE), "\xC2\xB1" "0.0dB");
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITHOUT_VALUE), "\xC2\xB1" "0.0dB");
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_ACTIVE), "Use ReplayGain information to adjust loudness:");
  test_support::screen_capture(parent).save("replaygain_panel_defaults");
  const playback_gain_settings back = read(panel);
  EXPECT_EQ(back.source_mode, 2u);
  EXPECT_EQ(back.processing_mode, 1u);
  EXPECT_EQ(back.preamp_with_info_db, 0.0f);
  EXPECT_EQ(back.preamp_without_info_db, 0.0f);
}

TEST_F(ReplayGainPanel, StoredValuesBeyondTheScaleComeBackClampedAndClippingPreventionIsKept) {
  HWND panel = make_panel({1, 2, -0.04f, 25.0f});
  EXPECT_TRUE(is_checked(panel, IDC_REPLAYGAIN_TRACK));
  EXPECT_EQ(position(panel, IDC_REPLAYGAIN_WITH_SLIDER), 400);
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITH_VALUE), "+20.0dB");
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITHOUT_VALUE), "\xC2\xB1" "0.0dB");
  playback_gain_settings back = read(panel);
  EXPECT_EQ(back.source_mode, 1u);
  EXPECT_EQ(back.processing_mode, 2u) << "a stored mode with clipping prevention survives the panel";
  EXPECT_FLOAT_EQ(back.preamp_with_info_db, 20.0f);
  EXPECT_FLOAT_EQ(back.preamp_without_info_db, 0.0f);

  // Turning it off and on again through the panel's own write.
  replaygain_settings_service().write_panel(panel, {2, 0, 1.5f, -6.0f});
  EXPECT_FALSE(is_checked(panel, IDC_REPLAYGAIN_ACTIVE));
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITHOUT_VALUE), "+1.5dB");
  back = read(panel);
  EXPECT_EQ(back.processing_mode, 0u);
  CheckDlgButton(panel, IDC_REPLAYGAIN_ACTIVE, BST_CHECKED);
  EXPECT_EQ(read(panel).processing_mode, 1u) << "switched on from off: apply the gain";
}

TEST_F(ReplayGainPanel, ClicksAndSliderMovesTellTheParentAndUpdateTheLabel) {
  HWND panel = make_panel(replaygain_settings_service().get_defaults());
  SendDlgItemMessageW(panel, IDC_REPLAYGAIN_TRACK, BM_CLICK, 0, 0);
  pump();
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(noticed_panel, panel);
  HWND slider = GetDlgItem(panel, IDC_REPLAYGAIN_WITH_SLIDER);
  SetFocus(slider);
  SendMessageW(slider, WM_KEYDOWN, VK_END, 0);
  pump();
  EXPECT_EQ(position(panel, IDC_REPLAYGAIN_WITH_SLIDER), 400);
  EXPECT_EQ(item_text(panel, IDC_REPLAYGAIN_WITH_VALUE), "+20.0dB");
  EXPECT_GE(notices, 2);
  EXPECT_EQ(read(panel).source_mode, 1u);
}

// Acts on the modal dialog from a timer of its own loop: switches to track
// mode and presses `button`; `caption` gets the dialog's caption.
UINT dialog_button = IDOK;
std::string dialog_caption;
void CALLBACK answer_dialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = GetActiveWindow();
  if (dialog == nullptr) return;
  KillTimer(nullptr, timer);
  wchar_t caption[128] = {};
  GetWindowTextW(dialog, caption, 128);
  dialog_caption = qiv::utf16_to_utf8(caption, std::char_traits<wchar_t>::length(caption));
  HWND panel = GetDlgItem(dialog, 122);
  SendDlgItemMessageW(panel, IDC_REPLAYGAIN_TRACK, BM_CLICK, 0, 0);
  if (dialog_button == IDOK) test_support::screen_capture(dialog).save("replaygain_dialog");
  PostMessageW(dialog, WM_COMMAND, dialog_button, 0);
}

TEST_F(ReplayGainPanel, TheModalDialogGivesBackTheEditedRecordOnlyForOk) {
  playback_gain_settings record = replaygain_settings_service().get_defaults();
  dialog_button = IDCANCEL;
  SetTimer(nullptr, 0, 50, answer_dialog);
  EXPECT_FALSE(replaygain_settings_service().edit_modal(record, parent, nullptr));
  EXPECT_EQ(record.source_mode, 2u) << "Cancel leaves the record";
  EXPECT_EQ(dialog_caption, "ReplayGain settings");

  dialog_button = IDOK;
  SetTimer(nullptr, 0, 50, answer_dialog);
  EXPECT_TRUE(replaygain_settings_service().edit_modal(record, parent, "Album one"));
  EXPECT_EQ(record.source_mode, 1u);
  EXPECT_EQ(dialog_caption, "ReplayGain Settings - Album one");
}

TEST(ReplayGainSettings, SetStoresTheRecordForTheNextRunAndGetReadsIt) {
  replaygain_settings& settings = replaygain_settings_service();
  settings.set({1, 1, -3.0f, 6.0f});
  const playback_gain_settings stored = config::playback_gain.get();
  EXPECT_EQ(stored.source_mode, 1u);
  EXPECT_FLOAT_EQ(stored.preamp_without_info_db, -3.0f);
  EXPECT_FLOAT_EQ(settings.get().preamp_with_info_db, 6.0f);
  settings.set(settings.get_defaults());
}

}  // namespace
