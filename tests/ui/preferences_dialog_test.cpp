// The preferences dialog as the user meets it: the tree of pages, the
// caption, Apply, OK and Cancel, busy pages, the restart question and the
// place it reopens at.
#include "ui/dialogs/preferences_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/close_guard_registry.h"
#include "core/config_item_registrations.h"
#include "core/persistent_store.h"
#include "core/service_factory.h"
#include "core/shutdown_approval.h"
#include "foundation/string_small.h"
#include "preferences_test_environment.h"
#include "resources/preferences_dialogs.h"
#include "support/screen_capture.h"
#include "ui/dialogs/preferences_page.h"
#include "ui/framework/dialog_object.h"

namespace {

using namespace preferences_test;

constexpr GUID test_page_guid = {0x7E570001, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID playback_page_guid = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};

// What the test page reports and how often it was applied.
std::uint32_t test_page_state = 0;
int test_page_applies = 0;
service_ptr<preferences_page_callback> test_page_callback;

class test_page_instance : public preferences_page_instance, public dialog_object {
public:
  ~test_page_instance() {
    if (handle() != nullptr) DestroyWindow(handle());
  }
  std::uint32_t get_state() override { return test_page_state; }
  HWND get_wnd() override { return handle(); }
  void apply() override {
    ++test_page_applies;
    test_page_state &= ~preferences_state::changed;
  }
  void reset() override {}
  bool process_message(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD) override {
    if (message != WM_INITDIALOG) return false;
    result = TRUE;
    return true;
  }
};

class test_page : public preferences_page_base {
public:
  void get_name(qiv::string_object& out) override { out.set_string("zulu test page"); }
  GUID get_guid() override { return test_page_guid; }
  service_ptr<preferences_page_instance> create(HWND parent, service_ptr<preferences_page_callback> callback) override {
    test_page_callback = callback;
    auto* instance = new service_counted<test_page_instance>();
    service_ptr<preferences_page_instance> held(instance);
    instance->create_modeless(IDD_PREFERENCES_BRANCH, parent);
    return held;
  }
};
service_factory_single_t<test_page> test_page_registration;

// A page whose parent is nowhere, and a branch with nothing in it.
class orphan_page : public test_page {
public:
  void get_name(qiv::string_object& out) override { out.set_string("orphan"); }
  GUID get_guid() override { return {0x7E570002, 0, 0, {}}; }
  GUID get_parent() override { return {0x7E570099, 0, 0, {}}; }
};
service_factory_single_t<orphan_page> orphan_registration;

int flushes = 0;
class counting_store : public persistent_store_flush {
public:
  void load() override {}
  void save(bool) override {}
  void save_now() override { ++flushes; }
};
service_factory_single_t<counting_store> store_registration;

std::vector<std::string> root_items(HWND tree) {
  std::vector<std::string> names;
  for (auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item != nullptr;
       item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    wchar_t text[64] = {};
    TVITEMW data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 64;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    names.push_back(qiv::utf16_to_utf8(text, std::char_traits<wchar_t>::length(text)));
  }
  return names;
}

bool enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

class PreferencesDialog : public ::testing::Test {
protected:
  static void SetUpTestSuite() { start_environment(); }
  void SetUp() override {
    test_page_state = 0;
    test_page_applies = 0;
    flushes = 0;
  }
  void TearDown() override {
    if (HWND window = preferences_dialog::window()) DestroyWindow(window);
    pump();
  }
  HWND open(const GUID* page) {
    preferences_dialog::open(page);
    pump();
    return preferences_dialog::window();
  }
  void set_test_page_state(std::uint32_t state) {
    test_page_state = state;
    test_page_callback->on_state_changed();
    pump();
  }
};

// Runs first: nothing has been shown in this run yet.
TEST_F(PreferencesDialog, OpensWithThePagesByNameAndNoPageChosenYet) {
  HWND dialog = open(nullptr);
  ASSERT_NE(dialog, nullptr);
  HWND tree = GetDlgItem(dialog, IDC_PREFERENCES_TREE);
  EXPECT_EQ(root_items(tree), (std::vector<std::string>{"Music folders", "Playback", "zulu test page"}))
      << "branches without pages and the orphan are left out";
  EXPECT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), 0);
  EXPECT_EQ(window_text(dialog), "Preferences");
  EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PREFERENCES_APPLY)), "Apply");
  EXPECT_FALSE(enabled(dialog, IDC_PREFERENCES_APPLY));
}

TEST_F(PreferencesDialog, APageSetsTheCaptionAndTheDialogReturnsToItAndToItsPlace) {
  HWND dialog = open(&playback_page_guid);
  EXPECT_EQ(window_text(dialog), "Preferences: Playback");
  HWND page = page_with_control(dialog, IDC_PLAYBACK_DEVICE);
  ASSERT_NE(page, nullptr);
  RECT frame, shown;
  GetWindowRect(GetDlgItem(dialog, IDC_PREFERENCES_PAGE_FRAME), &frame);
  GetWindowRect(page, &shown);
  EXPECT_TRUE(EqualRect(&frame, &shown)) << "the page fills the page area";
  test_support::screen_capture(dialog).save("preferences_playback_page");

  // Opening again while open switches pages.
  preferences_dialog::open(&test_page_guid);
  pump();
  EXPECT_EQ(window_text(dialog), "Preferences: zulu test page");

  SetWindowPos(dialog, nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  click(dialog, IDCANCEL);
  EXPECT_EQ(preferences_dialog::window(), nullptr);
  dialog = open(nullptr);
  EXPECT_EQ(window_text(dialog), "Preferences: zulu test page") << "the page shown last in this run";
  RECT place;
  GetWindowRect(dialog, &place);
  EXPECT_EQ(place.left, 37);
  EXPECT_EQ(place.top, 41);
}

TEST_F(PreferencesDialog, ApplyRunsChangedPagesAndWritesTheSettingsAtOnce) {
  HWND dialog = open(&test_page_guid);
  set_test_page_state(preferences_state::changed);
  EXPECT_TRUE(enabled(dialog, IDC_PREFERENCES_APPLY));
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_EQ(test_page_applies, 1);
  EXPECT_EQ(flushes, 1);
  EXPECT_FALSE(enabled(dialog, IDC_PREFERENCES_APPLY));
  // OK with nothing changed applies nothing more and closes.
  click(dialog, IDOK);
  EXPECT_EQ(test_page_applies, 1);
  EXPECT_EQ(preferences_dialog::window(), nullptr);
}

TEST_F(PreferencesDialog, ABusyPageHoldsTheButtonsAndIsListedWhenTheProgramWouldClose) {
  HWND dialog = open(&test_page_guid);
  set_test_page_state(preferences_state::busy | preferences_state::changed);
  EXPECT_FALSE(enabled(dialog, IDOK));
  EXPECT_FALSE(enabled(dialog, IDCANCEL));
  EXPECT_FALSE(enabled(dialog, IDC_PREFERENCES_APPLY));
  const auto guards = active_close_guards();
  ASSERT_EQ(guards.get_count(), 1u);
  qiv::string_small description;
  guards[0]->get_description(description);
  EXPECT_STREQ(description.get_ptr(), "<unnamed task>");
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  pump();
  EXPECT_EQ(preferences_dialog::window(), dialog) << "a busy dialog does not close";
  EXPECT_EQ(test_page_applies, 0);

  set_test_page_state(0);
  EXPECT_TRUE(enabled(dialog, IDOK));
  EXPECT_EQ(active_close_guards().get_count(), 0u);
}

TEST_F(PreferencesDialog, DecliningTheRestartAppliesNothingAndKeepsApply) {
  HWND dialog = open(&test_page_guid);
  set_test_page_state(preferences_state::changed | preferences_state::needs_restart);
  std::atomic<bool> answered = false;
  std::string question;
  std::thread user([&] {
    for (int i = 0; i < 200 && !answered; ++i, Sleep(50)) {
      HWND box = FindWindowW(L"#32770", L"Zorv preferences");
      if (box == nullptr) continue;
      HWND text = FindWindowExW(box, nullptr, L"Static", nullptr);
      while (text != nullptr && window_text(text).empty()) text = FindWindowExW(box, text, L"Static", nullptr);
      if (text != nullptr) question = window_text(text);
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
      answered = true;
    }
  });
  click(dialog, IDC_PREFERENCES_APPLY);
  user.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(question, "Applying these changes requires Zorv to be restarted. Continue?");
  EXPECT_EQ(test_page_applies, 0);
  EXPECT_EQ(flushes, 0);
  EXPECT_TRUE(enabled(dialog, IDC_PREFERENCES_APPLY));
  EXPECT_FALSE(app::state().quitting);
}

// A modal child of the dialog (a folder picker, a message box) disables it.
TEST_F(PreferencesDialog, QuittingIsHeldOffWhileAModalChildOfTheDialogIsOpen) {
  HWND dialog = open(&test_page_guid);
  EnableWindow(dialog, FALSE);
  EXPECT_FALSE(shutdown_approval::query_all());
  EnableWindow(dialog, TRUE);
  EXPECT_TRUE(shutdown_approval::query_all());
}

}  // namespace
