// Windows and dialogs as objects: messages reach the object from the first
// one on, fall through to the previous procedure when unhandled, survive a
// throwing handler, and let go of their windows in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/dialog_registry.h"
#include "core/message_loop.h"
#include "core/modal_scope.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "support/sample_tag_service.h"
#include "support/single_factory.h"
#include "test_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/modal_dialog.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_class.h"

namespace {

struct recording_popup : popup_message {
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    shown.push_back(std::string(caption) + ": " + text);
  }
  static inline std::vector<std::string> shown;
};

class WindowFramework : public ::testing::Test {
protected:
  void SetUp() override {
    recording_popup::shown.clear();
    service_registry::build(list_);
  }
  void TearDown() override { service_registry::free(); }

  service_factory* list_ = nullptr;
  single_factory<sample_tag_service> tags_{&list_};
  single_factory<recording_popup> popups_{&list_};
};

window_class_record& plain_class() {
  static window_class_record record = [] {
    window_class_record r;
    r.description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    r.cursor = IDC_ARROW;
    return r;
  }();
  return record;
}

// Handles what the test asks of it and remembers what it saw.
class test_window : public window_object {
public:
  bool process_message(HWND, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
    seen.push_back(message);
    switch (message) {
    case WM_SETTEXT:
      // Let the default procedure store the text after looking at it.
      set_handled(false);
      return true;
    case WM_GETTEXTLENGTH:
      result = 99;
      return true;
    case WM_APP: {
      const window_message* outer = current_message();
      SendMessageW(handle(), WM_APP + 1, 0, 0);
      nested_left_outer_intact = current_message() == outer && outer->message == WM_APP && outer->wparam == wparam;
      return true;
    }
    case WM_LBUTTONUP:
      ++clicks;
      throw std::runtime_error("handler failed on click");
    case WM_TIMER:
      // Timer messages come only once the queue holds no input, so the
      // click has been handled (or never came) by now.
      KillTimer(handle(), wparam);
      PostQuitMessage(clicks == 1 ? 7 : 8);
      return true;
    default:
      return false;
    }
  }
  void on_final_message(HWND) override { final_messages += 1; }

  std::vector<UINT> seen;
  bool nested_left_outer_intact = false;
  int clicks = 0;
  int final_messages = 0;
};

TEST_F(WindowFramework, MessagesReachTheObjectFromTheFirstOneAndUnhandledOnesReachTheDefault) {
  test_window object;
  const ATOM atom = register_window_class(plain_class());
  ASSERT_NE(atom, 0);
  EXPECT_EQ(register_window_class(plain_class()), atom);
  EXPECT_EQ(create_window(object, nullptr, nullptr, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0), nullptr);

  const RECT place = {10, 10, 210, 110};
  const HWND window = create_window(object, nullptr, &place, L"first", WS_OVERLAPPEDWINDOW, 0, 0, atom);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(object.handle(), window);
  ASSERT_FALSE(object.seen.empty());
  EXPECT_TRUE(std::find(object.seen.begin(), object.seen.end(), WM_NCCREATE) != object.seen.end());

  // A handler that clears its mark lets the default store the text.
  SetWindowTextW(window, L"changed");
  wchar_t text[32] = {};
  EXPECT_EQ(GetWindowTextLengthW(window), 99);  // handled by the object
  InternalGetWindowText(window, text, 32);
  EXPECT_STREQ(text, L"changed");

  SendMessageW(window, WM_APP, 42, 0);
  EXPECT_TRUE(object.nested_left_outer_intact);

  DestroyWindow(window);
  EXPECT_EQ(object.handle(), nullptr);
  EXPECT_EQ(object.final_messages, 1);
}

TEST_F(WindowFramework, AHandlerThrowingOnAClickIsReportedAndTheLoopRunsOn) {
  test_window object;
  const RECT place = {100, 100, 300, 250};
  const HWND window = create_window(object, nullptr, &place, L"Throwing on click",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, register_window_class(plain_class()));
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  UpdateWindow(window);

  // A real click, as the user makes it, in the middle of the window.
  POINT centre = {100, 75};
  ClientToScreen(window, &centre);
  SetCursorPos(centre.x, centre.y);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(2, inputs, sizeof(INPUT)), 2u);
  // Behind the click: the loop must still be running to get here.
  SetTimer(window, 1, 200, nullptr);

  EXPECT_EQ(main_message_loop(), 7);
  EXPECT_EQ(object.clicks, 1);
  ASSERT_EQ(recording_popup::shown.size(), 1u);
  EXPECT_NE(recording_popup::shown[0].find("handler failed on click"), std::string::npos) << recording_popup::shown[0];
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
}

// A window whose object fails during its set-up is never made.
TEST_F(WindowFramework, AnObjectThatFailsToCreateItsWindowLeavesNoWindow) {
  struct failing_window : window_object {
    bool process_message(HWND window, UINT message, WPARAM, LPARAM, LRESULT&, DWORD) override {
      made = window;
      if (message == WM_CREATE) throw std::runtime_error("no resources for the window");
      return false;
    }
    HWND made = nullptr;
  } object;
  EXPECT_THROW(create_window(object, nullptr, nullptr, L"", WS_OVERLAPPEDWINDOW, 0, 0,
                             register_window_class(plain_class())),
               std::exception);
  EXPECT_FALSE(IsWindow(object.made));
  EXPECT_EQ(object.handle(), nullptr);
  ASSERT_EQ(recording_popup::shown.size(), 1u);
}

WNDPROC procedure_before_later_party = nullptr;

LRESULT CALLBACK later_party_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(procedure_before_later_party, window, message, wparam, lparam);
}

// Reads, while the window still exists, which procedure it runs with.
class procedure_watcher : public window_object {
public:
  bool process_message(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return false; }
  void on_final_message(HWND window) override {
    procedure_at_end = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
  }
  WNDPROC procedure_at_end = nullptr;
};

TEST_F(WindowFramework, ASubclassedControlGetsItsOwnProcedureBackUnlessSomeoneSubclassedItAfterUs) {
  const HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  const HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD, 0, 0, 80, 20, parent, nullptr, nullptr, nullptr);
  const auto edit_procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC));
  procedure_watcher watcher;
  ASSERT_TRUE(watcher.subclass(edit));
  EXPECT_FALSE(watcher.subclass(edit));  // one window per object
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC)), &window_object_procedure);
  SetWindowTextW(edit, L"typed");  // still an edit control underneath
  wchar_t text[16] = {};
  GetWindowTextW(edit, text, 16);
  EXPECT_STREQ(text, L"typed");
  DestroyWindow(edit);
  EXPECT_EQ(watcher.procedure_at_end, edit_procedure);

  const HWND second = CreateWindowExW(0, L"Edit", L"", WS_CHILD, 0, 0, 80, 20, parent, nullptr, nullptr, nullptr);
  procedure_watcher late;
  ASSERT_TRUE(late.subclass(second));
  // Another party subclasses after us and calls ours from its procedure.
  procedure_before_later_party = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&later_party_procedure)));
  DestroyWindow(second);
  EXPECT_EQ(late.procedure_at_end, &later_party_procedure);
  EXPECT_EQ(late.handle(), nullptr);
  DestroyWindow(parent);
}

TEST_F(WindowFramework, ASuperclassPassesWhatTheObjectLeavesToItsBaseClass) {
  window_class_record record;
  record.base_class = L"Edit";
  procedure_watcher object;
  const RECT place = {0, 0, 100, 24};
  const HWND window = create_window(object, nullptr, &place, L"base text", WS_POPUP, 0, 0,
                                    register_window_class(record));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SendMessageW(window, EM_GETLIMITTEXT, 0, 0) > 0, true);  // only an edit answers this
  wchar_t text[16] = {};
  GetWindowTextW(window, text, 16);
  EXPECT_STREQ(text, L"base text");
  DestroyWindow(window);

  window_class_record missing;
  missing.base_class = L"No such class anywhere";
  EXPECT_EQ(register_window_class(missing), 0);
}

// Ends itself from its first message, optionally after running another
// dialog inside, and records the order.
class nesting_dialog : public modal_dialog {
public:
  nesting_dialog(std::vector<std::string>& log, const char* name, nesting_dialog* inner)
      : log_(log), name_(name), inner_(inner) {}

protected:
  INT_PTR on_message(UINT message, WPARAM, LPARAM) override {
    if (message == WM_INITDIALOG) {
      PostMessageW(handle(), WM_APP, 0, 0);
      return TRUE;
    }
    if (message != WM_APP) return FALSE;
    log_.push_back(std::string(name_) + (modal_scope::none_active() ? " without scope" : " in scope"));
    if (inner_ != nullptr) log_.push_back("inner ended with " + std::to_string(inner_->run_modal(TEST_SIMPLE_DIALOG, handle())));
    EndDialog(handle(), inner_ != nullptr ? 1 : 2);
    return TRUE;
  }

private:
  std::vector<std::string>& log_;
  const char* name_;
  nesting_dialog* inner_;
};

TEST_F(WindowFramework, ModalDialogsNestAndEndInOrderInsideTheirScopes) {
  std::vector<std::string> log;
  nesting_dialog inner(log, "inner", nullptr);
  nesting_dialog outer(log, "outer", &inner);
  EXPECT_TRUE(modal_scope::none_active());
  EXPECT_EQ(outer.run_modal(TEST_SIMPLE_DIALOG, nullptr), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"outer in scope", "inner in scope", "inner ended with 2"}));
  EXPECT_TRUE(modal_scope::none_active());
  EXPECT_EQ(outer.handle(), nullptr);
  EXPECT_THROW(outer.run_modal(9999, nullptr), std::exception);
  EXPECT_TRUE(modal_scope::none_active());
}

class modeless_test_dialog : public dialog_object {
public:
  bool process_message(HWND window, UINT message, WPARAM, LPARAM, LRESULT&, DWORD) override {
    registration.process_message(window, message);
    return false;
  }
  modeless_dialog_registration registration;
};

bool registered(HWND window) {
  MSG message = {window, WM_NULL, 0, 0, 0, {0, 0}};
  return dialog_registry_offer(message);
}

TEST_F(WindowFramework, AModelessDialogIsRegisteredExactlyWhileItsWindowExists) {
  modeless_test_dialog dialog;
  const HWND first = dialog.create_modeless(TEST_SIMPLE_DIALOG, nullptr);
  EXPECT_TRUE(registered(first));
  // Made again while the first still stands: only the new one is registered.
  const HWND second = dialog.create_modeless(TEST_SIMPLE_DIALOG, nullptr);
  EXPECT_FALSE(registered(first));
  EXPECT_TRUE(registered(second));
  DestroyWindow(second);
  EXPECT_FALSE(registered(second));
  EXPECT_EQ(dialog.registration.registered_window(), nullptr);
  DestroyWindow(first);
  // An object that ends before its window takes the registration along.
  HWND third = nullptr;
  {
    modeless_test_dialog short_lived;
    third = short_lived.create_modeless(TEST_SIMPLE_DIALOG, nullptr);
    EXPECT_TRUE(registered(third));
  }
  EXPECT_FALSE(registered(third));
  DestroyWindow(third);
  EXPECT_THROW(dialog.create_modeless(9999, nullptr), std::exception);
}

}  // namespace
