// The remembered values of a field as the stored text shows them.
#include "ui/framework/value_history.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "core/config_item_kinds.h"
#include "support/screen_capture.h"

namespace {

struct text_store : value_history_store {
  std::string get_text() const override { return text; }
  void set_text(const std::string& value) override { text = value; }
  std::string text;
};

TEST(ValueHistory, ARepeatedValueMovesToTheFrontAndTheLimitDropsTheOldest) {
  text_store store;
  value_history history(store, 10);
  EXPECT_FALSE(history.add("a"));
  EXPECT_FALSE(history.add("b"));
  EXPECT_TRUE(history.add("a"));
  EXPECT_EQ(store.text, "a\nb\n");
  EXPECT_FALSE(history.add(""));
  EXPECT_EQ(store.text, "a\nb\n");

  // Ten values, then an eleventh: all kept; the twelfth drops the oldest.
  store.text.clear();
  for (int i = 1; i <= 11; ++i) history.add("v" + std::to_string(i));
  EXPECT_EQ(history.load_list().size(), 11u);
  EXPECT_EQ(history.load_list().back(), "v1");
  history.add("v12");
  const auto entries = history.load_list();
  ASSERT_EQ(entries.size(), 11u);
  EXPECT_EQ(entries.front(), "v12");
  EXPECT_EQ(entries.back(), "v2");
}

// Line feeds would split the value into entries; a damaged setting must not
// put broken text into a field.
TEST(ValueHistory, LineFeedsAreStoredAsBarsAndADamagedStoredTextReadsAsAnEmptyHistory) {
  text_store store;
  value_history history(store, 10);
  history.add("x\ny");
  EXPECT_EQ(store.text, "x|y\n");
  store.text = "\n\none\n\n\ntwo";
  EXPECT_EQ(history.load_list(), (std::vector<std::string>{"one", "two"}));
  store.text = std::string("good\n\xC3(\n", 8);
  EXPECT_TRUE(history.load_list().empty());
  store.text = std::string("a\0b\n", 4);
  EXPECT_TRUE(history.load_list().empty());
  history.add("fresh");
  EXPECT_EQ(store.text, "fresh\n");
}

TEST(ValueHistory, TheComboListShowsTheEntriesAndRemovingAMissingValueChangesNothing) {
  config_item* items = nullptr;
  config_text item({0x1, 0x2, 0x3, {1, 2, 3, 4, 5, 6, 7, 8}}, "", &items);
  config_text_history_store store(item);
  value_history history(store, 10);
  history.add("first");
  history.add("second");
  EXPECT_STREQ(item.get(), "second\nfirst\n");

  const HWND combo = CreateWindowExW(0, L"ComboBox", L"", WS_POPUP | CBS_DROPDOWN, 0, 0, 200, 200, nullptr, nullptr,
                                     nullptr, nullptr);
  history.fill_combo(combo);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  wchar_t text[16] = {};
  SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"first");
  DestroyWindow(combo);

  EXPECT_FALSE(history.remove("absent"));
  EXPECT_STREQ(item.get(), "second\nfirst\n");
  EXPECT_TRUE(history.remove("second"));
  EXPECT_STREQ(item.get(), "first\n");
}

// Chooses the n-th item of the history menu with the keyboard, as the user
// would, once the menu shows; from a thread of its own, since the menu's
// loop holds the test's thread.
std::thread choose_menu_item(HWND owner, int item, const char* shot_name) {
  return std::thread([owner, item, shot_name] {
    HWND menu = nullptr;
    for (int i = 0; i < 200 && menu == nullptr; ++i, Sleep(25)) {
      menu = FindWindowW(L"#32768", nullptr);
      if (menu != nullptr && !IsWindowVisible(menu)) menu = nullptr;
    }
    if (menu == nullptr) {
      ADD_FAILURE() << "no menu";
      return;
    }
    if (shot_name != nullptr) test_support::screen_capture(menu).save(shot_name);
    for (int i = 0; i < item; ++i) PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(owner, WM_KEYDOWN, VK_RETURN, 0);
  });
}

TEST(ValueHistory, TheMenuRemovesTheFieldsTextOrWipesAllAndKeepsWhatTheUserTyped) {
  text_store store;
  value_history history(store, 10);
  history.add("first");
  history.add("second");
  const HWND parent = CreateWindowExW(0, L"#32770", L"History", WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 200, 240,
                                      80, nullptr, nullptr, nullptr, nullptr);
  const HWND combo = CreateWindowExW(0, L"ComboBox", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL, 10,
                                     10, 200, 150, parent, nullptr, nullptr, nullptr);
  SetForegroundWindow(parent);
  const auto text_of = [combo] {
    wchar_t text[32] = {};
    GetWindowTextW(combo, text, 32);
    return std::wstring(text);
  };
  // A text that is not in the history: nothing goes, the list is refilled.
  SetWindowTextW(combo, L"absent");
  ASSERT_EQ(text_of(), L"absent");
  std::thread chooser = choose_menu_item(combo, 2, "value_history_menu");
  EXPECT_FALSE(history.show_menu(combo, {-1, -1}));
  chooser.join();
  EXPECT_EQ(store.text, "second\nfirst\n");
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(text_of(), L"absent");

  SetWindowTextW(combo, L"first");
  chooser = choose_menu_item(combo, 2, nullptr);
  EXPECT_TRUE(history.show_menu(combo, {250, 210}));
  chooser.join();
  EXPECT_EQ(store.text, "second\n");

  chooser = choose_menu_item(combo, 1, nullptr);
  EXPECT_TRUE(history.show_menu(combo, {250, 210}));
  chooser.join();
  EXPECT_EQ(store.text, "");
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(text_of(), L"first");
  DestroyWindow(parent);
}

}  // namespace
