// The cell editor as a user meets it: a real list view in a dialog, real
// keys and mouse input, the committed texts read back from the list.
#include "ui/framework/inplace_edit_host.h"

#include <windows.h>
#include <commctrl.h>
#include <shldisp.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "test_dialogs.h"
#include "ui/framework/edit_autocomplete.h"
#include "ui/framework/inplace_edit_mouse_hook.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/value_history.h"

namespace {

INT_PTR CALLBACK quiet_dialog_procedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Column 0 is a label; columns 1 and 2 are edited.
class test_table final : public inplace_edit_host {
public:
  HWND list = nullptr;
  std::vector<std::string> commits;  // "row,column=text"
  int finished = 0;
  unsigned flags = 0;

protected:
  HWND get_list() override { return list; }
  int get_column_count() override { return 3; }
  bool is_column_editable(int column) override { return column != 0; }
  unsigned get_edit_flags(int, int) override { return flags; }
  void set_cell_text(int item, int column, const char* text) override {
    commits.push_back(std::to_string(item) + "," + std::to_string(column) + "=" + text);
    inplace_edit_host::set_cell_text(item, column, text);
  }
  void on_edit_finished() override { ++finished; }
};

// Keys go to the foreground window: tests of other programs running beside
// this one may have taken it.
HWND keyboard_target = nullptr;

void send_key(WORD key, bool shift = false, bool control = false) {
  if (keyboard_target != nullptr && GetForegroundWindow() != keyboard_target) {
    SetForegroundWindow(keyboard_target);
    pump_pending();
  }
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = flags;
    inputs.push_back(input);
  };
  if (shift) add(VK_SHIFT, 0);
  if (control) add(VK_CONTROL, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (control) add(VK_CONTROL, KEYEVENTF_KEYUP);
  if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void type_text(const char* text) {
  for (const char* c = text; *c; ++c) send_key(static_cast<WORD>(VkKeyScanW(static_cast<wchar_t>(*c)) & 0xFF));
}

// Lets input arrive and every posted end run.
void settle() {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 250) {
    pump_pending();
    Sleep(5);
  }
}

class InplaceEdit : public ::testing::Test {
protected:
  void SetUp() override {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    parent = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TEST_SIMPLE_DIALOG), nullptr,
                                &quiet_dialog_procedure, 0);
    ASSERT_NE(parent, nullptr);
    SetWindowPos(parent, HWND_TOPMOST, 120, 80, 420, 320, SWP_SHOWWINDOW);
    list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS,
                           0, 0, 400, 200, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    SetWindowPos(GetDlgItem(parent, IDOK), nullptr, 10, 230, 80, 24, SWP_NOZORDER);
    list_view_insert_column(list, 0, "Name", 40);
    list_view_insert_column(list, 1, "Value", 80);
    list_view_insert_column(list, 2, "Other", 80);
    for (int i = 0; i < 3; ++i) {
      list_view_append_item(list, -1, ("Row " + std::to_string(i)).c_str(), 0);
      list_view_set_item_text(list, i, 1, ("v" + std::to_string(i)).c_str());
      list_view_set_item_text(list, i, 2, ("o" + std::to_string(i)).c_str());
    }
    table.list = list;
    keyboard_target = parent;
    SetForegroundWindow(parent);
    SetFocus(list);
    pump_pending();
  }
  void TearDown() override {
    table.end(false);
    DestroyWindow(parent);
    pump_pending();
  }

  std::string cell(int item, int column) {
    std::string text;
    list_view_get_item_text(list, item, column, text);
    return text;
  }

  HWND parent = nullptr, list = nullptr;
  test_table table;
};

TEST_F(InplaceEdit, TabAndEnterWalkTheEditableCellsInOnScreenOrderAndCommitOnlyChanges) {
  // The user dragged "Other" before "Value".
  int order[3] = {0, 2, 1};
  ASSERT_TRUE(SendMessageW(list, LVM_SETCOLUMNORDERARRAY, 3, reinterpret_cast<LPARAM>(order)));
  table.begin_edit(0, 2);
  ASSERT_TRUE(table.is_editing());
  ASSERT_NE(table.popup(), nullptr);
  EXPECT_EQ(GetFocus(), table.popup()->edit());
  EXPECT_TRUE(list_view_is_item_selected(list, 0));
  type_text("x");
  settle();
  test_support::screen_capture(parent).save("inplace_edit_open");
  send_key(VK_TAB);
  settle();
  EXPECT_EQ(table.commits, std::vector<std::string>{"0,2=x"});
  EXPECT_EQ(cell(0, 2), "x");
  EXPECT_EQ(table.edited_item(), 0);
  EXPECT_EQ(table.edited_column(), 1) << "on screen, Value comes after Other";

  send_key(VK_TAB);  // unchanged: not committed, but moves on
  settle();
  EXPECT_EQ(table.commits.size(), 1u);
  EXPECT_EQ(table.edited_item(), 1);
  EXPECT_EQ(table.edited_column(), 2);

  send_key(VK_RETURN);  // same column, next row
  settle();
  EXPECT_EQ(table.edited_item(), 2);
  EXPECT_EQ(table.edited_column(), 2);

  send_key(VK_TAB, true);  // back to the last on-screen cell of the row above
  settle();
  EXPECT_EQ(table.edited_item(), 1);
  EXPECT_EQ(table.edited_column(), 1);
  EXPECT_TRUE(table.is_editing());
  EXPECT_EQ(table.finished, 0);
  EXPECT_EQ(table.commits.size(), 1u);
}

TEST_F(InplaceEdit, EscNeverCommitsAndTheTableEdgesEndEditing) {
  table.begin_edit(1, 1);
  type_text("zz");
  send_key(VK_ESCAPE);
  settle();
  EXPECT_TRUE(table.commits.empty());
  EXPECT_EQ(cell(1, 1), "v1");
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.finished, 1);
  EXPECT_EQ(GetFocus(), list);

  table.begin_edit(2, 2);  // the last editable cell of the last row
  type_text("q");
  send_key(VK_TAB);
  settle();
  EXPECT_EQ(table.commits, std::vector<std::string>{"2,2=q"});
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.finished, 2);

  table.begin_edit(0, 1);  // the first one of the first row
  send_key(VK_TAB, true);
  settle();
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.finished, 3);

  table.begin_edit(2, 1);  // Enter on the last row
  send_key(VK_RETURN);
  settle();
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.finished, 4);
  EXPECT_EQ(table.commits.size(), 1u);
  EXPECT_FALSE(inplace_edit_mouse_hook::is_installed()) << "the hook goes with the last editor";
}

TEST_F(InplaceEdit, ATextWithALineBreakOpensAFiveLineBoxWhereCtrlEnterBreaksTheLine) {
  list_view_set_item_text(list, 0, 1, "first\nsecond");
  RECT cell_rect = {};
  cell_rect.top = 1;
  cell_rect.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell_rect));
  table.begin_edit(0, 1);
  ASSERT_NE(table.popup(), nullptr);
  const HWND edit = table.popup()->edit();
  EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE);
  RECT box;
  GetClientRect(table.popup()->handle(), &box);
  EXPECT_EQ(box.bottom, 5 * (cell_rect.bottom - cell_rect.top));
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 2);
  test_support::screen_capture(parent).save("inplace_edit_multi_line");

  send_key(VK_END, false, true);
  send_key(VK_RETURN, false, true);
  type_text("x");
  settle();
  EXPECT_TRUE(table.is_editing()) << "Ctrl+Enter belongs to the edit";
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 3);
  send_key(VK_RETURN);
  settle();
  ASSERT_EQ(table.commits.size(), 1u);
  EXPECT_EQ(table.commits[0], "0,1=first\r\nsecond\r\nx");
}

TEST_F(InplaceEdit, AWheelTurnOverTheListOrAClickOnAnotherControlEndsTheEditAndCommits) {
  table.begin_edit(0, 1);
  type_text("w");
  POINT over_list = {300, 150};
  ClientToScreen(list, &over_list);
  SetCursorPos(over_list.x, over_list.y);
  INPUT wheel = {};
  wheel.type = INPUT_MOUSE;
  wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
  SendInput(1, &wheel, sizeof(INPUT));
  settle();
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.commits, std::vector<std::string>{"0,1=w"});

  table.begin_edit(1, 2);
  type_text("c");
  RECT button;
  GetWindowRect(GetDlgItem(parent, IDOK), &button);
  SetCursorPos((button.left + button.right) / 2, (button.top + button.bottom) / 2);
  INPUT click[2] = {};
  click[0].type = click[1].type = INPUT_MOUSE;
  click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, click, sizeof(INPUT));
  settle();
  EXPECT_FALSE(table.is_editing());
  EXPECT_EQ(table.commits, (std::vector<std::string>{"0,1=w", "1,2=c"}));
}

TEST_F(InplaceEdit, EndingFromOutsideCommitsOnlyWhenAskedAndNeverForAReadOnlyCell) {
  table.begin_edit(0, 1);
  type_text("a");
  settle();
  table.end(true);
  settle();
  EXPECT_EQ(table.commits, std::vector<std::string>{"0,1=a"});
  EXPECT_EQ(table.finished, 1);

  table.begin_edit(0, 2);
  type_text("b");
  settle();
  table.end(false);
  settle();
  EXPECT_EQ(table.commits.size(), 1u);

  table.flags = inplace_edit::flag_read_only;
  table.begin_edit(1, 2);
  EXPECT_TRUE(GetWindowLongW(table.popup()->edit(), GWL_STYLE) & ES_READONLY);
  table.end(true);
  settle();
  EXPECT_EQ(table.commits.size(), 1u);
  EXPECT_EQ(table.finished, 3);
  EXPECT_FALSE(table.is_editing());
}

class memory_history_store final : public value_history_store {
public:
  std::string get_text() const override { return text; }
  void set_text(const std::string& value) override { text = value; }
  std::string text;
};

TEST(ValueHistoryEnum, ReturnCodesFollowCom) {
  IEnumString* strings = value_history_enum::create_fixed({"alpha", "b\xC3\xA4ta", "gamma"});
  LPOLESTR got[4] = {};
  ULONG fetched = 99;
  EXPECT_EQ(strings->Next(2, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_STREQ(got[1], L"b\u00E4ta");
  CoTaskMemFree(got[0]);
  CoTaskMemFree(got[1]);
  EXPECT_EQ(strings->Next(4, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  CoTaskMemFree(got[0]);
  EXPECT_EQ(strings->Next(1, got, nullptr), S_FALSE);
  EXPECT_EQ(strings->Next(1, nullptr, &fetched), E_INVALIDARG);
  EXPECT_EQ(strings->Reset(), S_OK);
  EXPECT_EQ(strings->Skip(2), S_OK);
  EXPECT_EQ(strings->Skip(2), S_FALSE);

  IEnumString* copy = nullptr;
  EXPECT_EQ(strings->Clone(&copy), S_OK);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Next(1, got, nullptr), S_OK) << "a clone starts at the beginning";
  EXPECT_STREQ(got[0], L"alpha");
  CoTaskMemFree(got[0]);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(copy->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  void* other = nullptr;
  EXPECT_EQ(copy->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
  EXPECT_EQ(copy->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  copy->Release();
  strings->Release();
}

TEST(ValueHistoryEnum, AHistoryBoundEnumeratorRereadsTheHistoryOnReset) {
  memory_history_store store;
  value_history history(store, 10);
  history.add("one");
  IEnumString* strings = value_history_enum::create_bound(store);
  history.add("two");
  LPOLESTR got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(strings->Next(3, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u) << "the list as it was when made";
  CoTaskMemFree(got[0]);
  EXPECT_EQ(strings->Reset(), S_OK);
  EXPECT_EQ(strings->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_STREQ(got[0], L"two");
  EXPECT_STREQ(got[1], L"one");
  CoTaskMemFree(got[0]);
  CoTaskMemFree(got[1]);

  OleInitialize(nullptr);
  const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(attach_autocomplete(edit, strings, ACO_AUTOSUGGEST), S_OK);
  DestroyWindow(edit);
  strings->Release();

  const HWND combo = CreateWindowExW(0, L"COMBOBOX", L"typed", WS_POPUP | CBS_DROPDOWN, 0, 0, 100, 120, nullptr,
                                     nullptr, nullptr, nullptr);
  EXPECT_EQ(edit_history::attach_combo(combo, history), S_OK);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(GetWindowTextLengthW(combo), 0);
  DestroyWindow(combo);
}

}  // namespace
