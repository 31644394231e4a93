// The DSP chain editor through a harness (no menu opens it): the real
// template in a host window, its buttons pressed, its lists and the preset
// item read back, the questions it asks answered by the test.
#include "ui/dialogs/dsp_chain_editor.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config_item_registrations.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "playback/playback_front.h"
#include "resources/dsp_dialogs.h"
#include "support/byte_stream_buffers.h"
#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "ui/dialogs/dsp_chain_settings.h"
#include "ui/framework/gdiplus_session.h"
#include "ui/framework/list_view_operations.h"

namespace {

constexpr GUID echo_guid = {0x1A5E0001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
constexpr GUID bass_guid = {0x1A5E0002, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};
constexpr GUID missing_guid = {0x1A5E0003, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x03}};

// What the configuration dialog of "Echo" does while it is open: report a
// new value, or first load a preset (refilling the lists) and then report.
enum class configure_action { report, load_then_report };
configure_action configure_does = configure_action::report;
HWND configured_editor = nullptr;

template <const GUID& Guid>
class test_effect : public dsp_effect_type {
public:
  bool instantiate(service_ptr<dsp_instance>&, const dsp_preset&) override { return false; }
  GUID get_guid() override { return Guid; }
  void get_name(qiv::string_object& out) override { out.set_string(&Guid == &echo_guid ? "Echo" : "Bass"); }
  bool get_default_preset(dsp_preset& out) override {
    out.set_guid(Guid);
    const std::uint8_t value = 1;
    out.set_data(&value, 1);
    return true;
  }
  bool has_config_popup() override { return &Guid == &echo_guid; }
  void show_config_popup_notify(const dsp_preset& preset, HWND parent, dsp_preset_change_callback& callback) override {
    configured_editor = parent;
    if (configure_does == configure_action::load_then_report)
      SendMessageW(parent, WM_COMMAND, MAKEWPARAM(IDC_DSP_PRESET_LOAD, BN_CLICKED), 0);
    dsp_preset changed(preset);
    const std::uint8_t value = 42;
    changed.set_data(&value, 1);
    callback.on_preset_changed(changed);
  }
};
service_factory_single_t<test_effect<echo_guid>> echo_registration;
service_factory_single_t<test_effect<bass_guid>> bass_registration;

std::vector<std::string> heard_chains;
class test_listener : public dsp_config_listener {
public:
  void on_chain_changed(const dsp_chain& chain) override { heard_chains.push_back(std::to_string(chain.get_count())); }
};
service_factory_single_t<test_listener> listener_registration;

dsp_preset preset_of(const GUID& guid, std::uint8_t value) {
  dsp_preset preset;
  preset.set_guid(guid);
  preset.set_data(&value, 1);
  return preset;
}

std::uint8_t value_of(const dsp_preset& preset) { return static_cast<const std::uint8_t*>(preset.get_data())[0]; }

std::vector<std::string> list_texts(HWND list) {
  std::vector<std::string> texts;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string text;
    list_view_get_item_text(list, i, 0, text);
    texts.push_back(text);
  }
  return texts;
}

struct asked {
  std::string text, caption;
};

class DspChainEditor : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    service_registry::table().build(service_factory::global_list_head);
  }
  void SetUp() override {
    host = CreateWindowExW(0, L"#32770", L"DSP harness", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 560, 520,
                           nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    SetWindowPos(host, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    config::dsp_presets.value().remove_all();
  }
  void TearDown() override {
    DestroyWindow(host);
    pump_pending();
    config::dsp_presets.value().remove_all();
  }

  void open(const dsp_chain& chain) {
    editor = dsp_chain_editor::create(chain, host, 321, false, config::dsp_presets.value(),
                                      [this](HWND, const char* text, const char* caption, UINT) {
                                        questions.push_back({text, caption});
                                        return answer;
                                      });
    RECT client;
    GetClientRect(host, &client);
    SetWindowPos(editor, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
    object = dsp_chain_editor::from_window(editor);
    ASSERT_NE(object, nullptr);
  }
  HWND item(int id) const { return GetDlgItem(editor, id); }
  void press(int id) { SendMessageW(editor, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id))); }
  void type_preset_name(const char* name) {
    SetWindowTextA(item(IDC_DSP_PRESET_NAME), name);
    SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDC_DSP_PRESET_NAME, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(item(IDC_DSP_PRESET_NAME)));
  }
  bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
  int changes_posted() {
    int count = 0;
    MSG message;
    while (PeekMessageW(&message, host, WM_COMMAND, WM_COMMAND, PM_REMOVE))
      if (LOWORD(message.wParam) == 321 && reinterpret_cast<HWND>(message.lParam) == editor) ++count;
    return count;
  }

  gdiplus_session gdiplus;
  HWND host = nullptr, editor = nullptr;
  dsp_chain_editor* object = nullptr;
  std::vector<asked> questions;
  int answer = IDYES;
};

TEST_F(DspChainEditor, ListsNameEachEntryOrErrorAndOfferTheRegisteredEffects) {
  dsp_chain chain;
  chain.add_item(preset_of(echo_guid, 5));
  chain.add_item(preset_of(missing_guid, 9));
  open(chain);
  EXPECT_EQ(list_texts(item(IDC_DSP_ACTIVE_LIST)), (std::vector<std::string>{"Echo", "<ERROR>"}));
  EXPECT_EQ(list_texts(item(IDC_DSP_AVAILABLE_LIST)), (std::vector<std::string>{"Bass", "Echo"}));
  EXPECT_EQ(GetDlgCtrlID(editor), 321);
  EXPECT_FALSE(enabled(IDC_DSP_ADD));
  EXPECT_FALSE(enabled(IDC_DSP_REMOVE));
  EXPECT_FALSE(enabled(IDC_DSP_CONFIGURE));
  EXPECT_FALSE(enabled(IDC_DSP_PRESET_SAVE));

  list_view_select_only(item(IDC_DSP_ACTIVE_LIST), 1);
  EXPECT_TRUE(enabled(IDC_DSP_REMOVE));
  EXPECT_TRUE(enabled(IDC_DSP_UP));
  EXPECT_FALSE(enabled(IDC_DSP_DOWN));
  EXPECT_FALSE(enabled(IDC_DSP_CONFIGURE)) << "a missing effect has no configuration";
  list_view_select_only(item(IDC_DSP_ACTIVE_LIST), 0);
  EXPECT_TRUE(enabled(IDC_DSP_CONFIGURE));
  test_support::screen_capture(host).save("dsp_chain_editor");

  // A missing entry still moves: Down on the first row, then nothing past the end.
  press(IDC_DSP_DOWN);
  EXPECT_EQ(list_texts(item(IDC_DSP_ACTIVE_LIST)), (std::vector<std::string>{"<ERROR>", "Echo"}));
  EXPECT_TRUE(list_view_is_item_selected(item(IDC_DSP_ACTIVE_LIST), 1));
  press(IDC_DSP_DOWN);
  EXPECT_EQ(object->chain().get_count(), 2u);
  EXPECT_EQ(value_of(object->chain().get_item(1)), 5);
  EXPECT_EQ(changes_posted(), 1);
}

TEST_F(DspChainEditor, AnEffectRemovedAndAddedAgainGetsItsLatestSettingsBack) {
  dsp_chain chain;
  chain.add_item(preset_of(echo_guid, 5));
  chain.add_item(preset_of(echo_guid, 7));
  open(chain);
  const HWND active = item(IDC_DSP_ACTIVE_LIST);
  list_view_select_only(active, 0);
  press(IDC_DSP_REMOVE);  // parks 5
  list_view_select_only(active, 0);
  press(IDC_DSP_REMOVE);  // parks 7 and makes the earlier copy 7 as well
  EXPECT_EQ(object->chain().get_count(), 0u);
  EXPECT_TRUE(enabled(IDC_DSP_ADD)) << "removing selects the effect among the available ones";
  press(IDC_DSP_ADD);
  press(IDC_DSP_ADD);
  press(IDC_DSP_ADD);
  ASSERT_EQ(object->chain().get_count(), 3u);
  EXPECT_EQ(value_of(object->chain().get_item(0)), 7);
  EXPECT_EQ(value_of(object->chain().get_item(1)), 7);
  EXPECT_EQ(value_of(object->chain().get_item(2)), 1) << "then the defaults";
  EXPECT_EQ(list_texts(active), (std::vector<std::string>{"Echo", "Echo", "Echo"}));
}

TEST_F(DspChainEditor, PresetsSaveLoadAndDeleteInTheirItemWithTheExactQuestions) {
  dsp_chain chain;
  chain.add_item(preset_of(echo_guid, 5));
  open(chain);
  type_preset_name("Rock");
  EXPECT_TRUE(enabled(IDC_DSP_PRESET_SAVE));
  EXPECT_FALSE(enabled(IDC_DSP_PRESET_LOAD));
  press(IDC_DSP_PRESET_SAVE);
  EXPECT_TRUE(questions.empty());
  ASSERT_EQ(config::dsp_presets.value().get_count(), 1u);
  EXPECT_TRUE(enabled(IDC_DSP_PRESET_LOAD));

  // Overwriting asks first; No keeps the old preset.
  list_view_select_only(item(IDC_DSP_ACTIVE_LIST), 0);
  press(IDC_DSP_REMOVE);
  answer = IDNO;
  press(IDC_DSP_PRESET_SAVE);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "DSP configuration preset named \"Rock\" already exists. Overwrite?");
  EXPECT_EQ(questions[0].caption, "Preset already exists");
  EXPECT_EQ(config::dsp_presets.value().get_item(0).chain.get_count(), 1u);
  answer = IDYES;
  press(IDC_DSP_PRESET_SAVE);
  EXPECT_EQ(config::dsp_presets.value().get_count(), 1u) << "replaced in place";
  EXPECT_EQ(config::dsp_presets.value().get_item(0).chain.get_count(), 0u);
  EXPECT_EQ(SendMessageW(item(IDC_DSP_PRESET_NAME), CB_GETCOUNT, 0, 0), 1);
  type_preset_name("rock");  // names are case-sensitive
  press(IDC_DSP_PRESET_SAVE);
  EXPECT_EQ(config::dsp_presets.value().get_count(), 2u);

  // The item stores and reads back both presets.
  test_support::vector_writer stored;
  config::dsp_presets.write(stored, never_raised_abort_signal());
  dsp_preset_list reread;
  test_support::vector_reader in(stored.data);
  dsp_preset_list::read(reread, in, never_raised_abort_signal());
  ASSERT_EQ(reread.get_count(), 2u);
  EXPECT_STREQ(reread.get_item(0).name.get_ptr(), "Rock");
  EXPECT_STREQ(reread.get_item(1).name.get_ptr(), "rock");

  // Loading replaces the chain and tells the host.
  config::dsp_presets.value().get_item(0).chain.add_item(preset_of(bass_guid, 3));
  type_preset_name("Rock");
  changes_posted();
  press(IDC_DSP_PRESET_LOAD);
  EXPECT_EQ(list_texts(item(IDC_DSP_ACTIVE_LIST)), std::vector<std::string>{"Bass"});
  EXPECT_EQ(changes_posted(), 1);

  questions.clear();
  press(IDC_DSP_PRESET_DELETE);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "Preset \"Rock\" will be deleted. Continue?");
  EXPECT_EQ(questions[0].caption, "Confirm preset deletion");
  ASSERT_EQ(config::dsp_presets.value().get_count(), 1u);
  EXPECT_STREQ(config::dsp_presets.value().get_item(0).name.get_ptr(), "rock");
  EXPECT_EQ(SendMessageW(item(IDC_DSP_PRESET_NAME), CB_GETCOUNT, 0, 0), 1);
  char text[32] = {};
  GetWindowTextA(item(IDC_DSP_PRESET_NAME), text, 32);
  EXPECT_STREQ(text, "Rock") << "the typed name stays";
  EXPECT_FALSE(enabled(IDC_DSP_PRESET_LOAD));
  press(IDC_DSP_PRESET_LOAD);  // a name without preset only beeps
  EXPECT_EQ(list_texts(item(IDC_DSP_ACTIVE_LIST)), std::vector<std::string>{"Bass"});
}

TEST_F(DspChainEditor, AConfigurationChangeReplacesTheEntryUnlessTheListsWereRefilledMeanwhile) {
  dsp_chain chain;
  chain.add_item(preset_of(echo_guid, 5));
  open(chain);
  list_view_select_only(item(IDC_DSP_ACTIVE_LIST), 0);
  configure_does = configure_action::report;
  press(IDC_DSP_CONFIGURE);
  EXPECT_EQ(configured_editor, editor);
  EXPECT_EQ(value_of(object->chain().get_item(0)), 42);
  EXPECT_EQ(changes_posted(), 1);

  // A preset holding Echo at 7, loaded while the dialog is open.
  qiv::ref_ptr<dsp_named_preset> stored(new dsp_named_preset);
  stored->name.set_string("Saved");
  stored->chain.add_item(preset_of(echo_guid, 7));
  config::dsp_presets.value().add_item(stored.get());
  type_preset_name("Saved");
  list_view_select_only(item(IDC_DSP_ACTIVE_LIST), 0);
  configure_does = configure_action::load_then_report;
  press(IDC_DSP_CONFIGURE);
  EXPECT_EQ(value_of(object->chain().get_item(0)), 7) << "the late change belongs to an entry that is gone";
}

TEST_F(DspChainEditor, TheSettingsServiceStoresTheChainAndTellsItsListeners) {
  dsp_chain chain;
  chain.add_item(preset_of(bass_guid, 2));
  heard_chains.clear();
  dsp_chain_settings::get().set_chain(chain);
  dsp_chain back;
  dsp_chain_settings::get().get_chain(back);
  EXPECT_EQ(back.get_count(), 1u);
  EXPECT_EQ(heard_chains, std::vector<std::string>{"1"});

  // The editor made by the service answers the private messages.
  const HWND made = dsp_chain_settings::get().create_editor(chain, host, 55, true);
  dsp_chain other;
  other.add_item(preset_of(echo_guid, 4));
  other.add_item(preset_of(echo_guid, 6));
  dsp_chain_settings::get().editor_set_chain(made, other);
  EXPECT_EQ(list_texts(GetDlgItem(made, IDC_DSP_ACTIVE_LIST)), (std::vector<std::string>{"Echo", "Echo"}));
  dsp_chain read_back;
  dsp_chain_settings::get().editor_get_chain(made, read_back);
  EXPECT_EQ(read_back.get_count(), 2u);
  dsp_chain_settings::get().set_chain(dsp_chain());
}

// The modal dialog, driven from a timer inside its loop.
int dialog_step = 0;
void CALLBACK drive_settings(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND dialog = FindWindowW(L"#32770", L"DSP Settings - Test");
  if (dialog == nullptr) return;
  KillTimer(nullptr, timer);
  const HWND editor = GetDlgItem(dialog, 123);
  if (dialog_step == 0) test_support::screen_capture(dialog).save("dsp_settings_dialog");
  list_view_select_only(GetDlgItem(editor, IDC_DSP_ACTIVE_LIST), 0);
  SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDC_DSP_REMOVE, BN_CLICKED), 0);
  PostMessageW(dialog, WM_COMMAND, dialog_step == 0 ? IDCANCEL : IDOK, 0);
}

TEST_F(DspChainEditor, TheSettingsDialogChangesTheCallersChainOnlyOnOk) {
  dsp_chain chain;
  chain.add_item(preset_of(echo_guid, 5));
  dialog_step = 0;
  SetTimer(nullptr, 0, 50, &drive_settings);
  EXPECT_FALSE(dsp_chain_settings::get().run_dialog(chain, nullptr, "Test"));
  EXPECT_EQ(chain.get_count(), 1u);
  dialog_step = 1;
  SetTimer(nullptr, 0, 50, &drive_settings);
  EXPECT_TRUE(dsp_chain_settings::get().run_dialog(chain, nullptr, "Test"));
  EXPECT_EQ(chain.get_count(), 0u);
}

}  // namespace
