// Windows and dialogs as objects: messages reach the object from the first
// one on, fall through when unhandled, survive a throwing handler, and let go
// of their windows in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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
  void show(const char* text, std::size_t, const char*, std::size_t, int) override { shown.push_back(text); }
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

ATOM plain_class() {
  static window_class_record record;
  record.cursor = IDC_ARROW;
  return register_window_class(record);
}

class test_window : public window_object {
public:
  bool process_message(HWND, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
    seen.push_back(message);
    switch (message) {
    case WM_SETTEXT:
      set_handled(false);  // let the default store the text
      return true;
    case WM_GETTEXTLENGTH:
      result = 99;
      return true;
    case WM_APP: {
      const window_message* outer = current_message();
      SendMessageW(handle(), WM_APP + 1, 0, 0);
      outer_intact = current_message() == outer && outer->message == WM_APP && outer->wparam == wparam;
      return true;
    }
    case WM_PAINT:
      if (throw_on_paint) throw std::runtime_error("paint failed");
      return false;
    case WM_LBUTTONUP:
      ++clicks;
      throw std::runtime_error("handler failed on click");
    case WM_TIMER:
      // Timers come only once no input is queued: the click is behind us.
      KillTimer(handle(), wparam);
      PostQuitMessage(clicks == 1 ? 7 : 8);
      return true;
    default:
      return false;
    }
  }
  void on_final_message(HWND) override { ++final_messages; }

  std::vector<UINT> seen;
  bool outer_intact = false, throw_on_paint = false;
  int clicks = 0, final_messages = 0;
};

TEST_F(WindowFramework, MessagesReachTheObjectFromTheFirstOneAndUnhandledOnesReachTheDefault) {
  test_window object;
  EXPECT_EQ(create_window(object, nullptr, nullptr, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0), nullptr);
  const HWND window = create_window(object, nullptr, nullptr, L"first", WS_OVERLAPPEDWINDOW, 0, 0, plain_class());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(object.handle(), window);
  EXPECT_NE(std::find(object.seen.begin(), object.seen.end(), WM_NCCREATE), object.seen.end());

  SetWindowTextW(window, L"changed");
  wchar_t text[32] = {};
  InternalGetWindowText(window, text, 32);
  EXPECT_STREQ(text, L"changed");
  EXPECT_EQ(GetWindowTextLengthW(window), 99);
  SendMessageW(window, WM_APP, 42, 0);
  EXPECT_TRUE(object.outer_intact);

  DestroyWindow(window);
  EXPECT_EQ(object.handle(), nullptr);
  EXPECT_EQ(object.final_messages, 1);
}

TEST_F(WindowFramework, AHandlerThrowingOnAClickIsReportedAndTheLoopRunsOn) {
  test_window object;
  const RECT place = {100, 100, 300, 250};
  const HWND window = create_window(object, nullptr, &place, L"Throwing on click", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    0, 0, plain_class());
  SetForegroundWindow(window);
  UpdateWindow(window);
  POINT centre = {100, 75};
  ClientToScreen(window, &centre);
  SetCursorPos(centre.x, centre.y);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(2, inputs, sizeof(INPUT)), 2u);
  SetTimer(window, 1, 200, nullptr);

  EXPECT_EQ(main_message_loop(), 7);
  EXPECT_EQ(object.clicks, 1);
  ASSERT_EQ(recording_popup::shown, std::vector<std::string>{"handler failed on click"});
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
}

TEST_F(WindowFramework, AFailedSetUpLeavesNoWindowAndAFailedPaintIsNotAskedForAgain) {
  struct failing_window : window_object {
    bool process_message(HWND window, UINT message, WPARAM, LPARAM, LRESULT&, DWORD) override {
      made = window;
      if (message == WM_CREATE) throw std::runtime_error("no resources for the window");
      return false;
    }
    HWND made = nullptr;
  } failing;
  EXPECT_THROW(create_window(failing, nullptr, nullptr, L"", WS_OVERLAPPEDWINDOW, 0, 0, plain_class()),
               std::exception);
  EXPECT_FALSE(IsWindow(failing.made));
  EXPECT_EQ(failing.handle(), nullptr);

  test_window painter;
  painter.throw_on_paint = true;
  const HWND window = create_window(painter, nullptr, nullptr, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                    plain_class());
  UpdateWindow(window);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  EXPECT_EQ(recording_popup::shown, (std::vector<std::string>{"no resources for the window", "paint failed"}));
  DestroyWindow(window);
}

WNDPROC procedure_before_later_party = nullptr;

LRESULT CALLBACK later_party_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(procedure_before_later_party, window, message, wparam, lparam);
}

// Reads, while the window still exists, which procedure it runs with.
struct procedure_watcher : window_object {
  bool process_message(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return false; }
  void on_final_message(HWND window) override {
    procedure_at_end = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
  }
  WNDPROC procedure_at_end = nullptr;
};

TEST_F(WindowFramework, ASubclassedControlGetsItsProcedureBackUnlessSomeoneSubclassedItAfterUs) {
  const HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  const auto edit = [parent] {
    return CreateWindowExW(0, L"Edit", L"", WS_CHILD, 0, 0, 80, 20, parent, nullptr, nullptr, nullptr);
  };
  const HWND first = edit();
  const auto edit_procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(first, GWLP_WNDPROC));
  procedure_watcher watcher;
  ASSERT_TRUE(watcher.subclass(first));
  EXPECT_FALSE(watcher.subclass(first));
  SetWindowTextW(first, L"typed");  // still an edit control underneath
  EXPECT_EQ(SendMessageW(first, EM_LINELENGTH, 0, 0), 5);
  DestroyWindow(first);
  EXPECT_EQ(watcher.procedure_at_end, edit_procedure);

  const HWND second = edit();
  procedure_watcher late;
  ASSERT_TRUE(late.subclass(second));
  procedure_before_later_party = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&later_party_procedure)));
  DestroyWindow(second);
  EXPECT_EQ(late.procedure_at_end, &later_party_procedure);
  EXPECT_EQ(late.handle(), nullptr);
  DestroyWindow(parent);

  window_class_record superclass;
  superclass.base_class = L"Edit";
  procedure_watcher object;
  const HWND based = create_window(object, nullptr, nullptr, L"base text", WS_POPUP, 0, 0,
                                   register_window_class(superclass));
  EXPECT_EQ(SendMessageW(based, EM_LINELENGTH, 0, 0), 9);  // only an edit answers this
  DestroyWindow(based);
  window_class_record missing;
  missing.base_class = L"No such class anywhere";
  EXPECT_EQ(register_window_class(missing), 0);
}

// Ends itself from its first posted message, after running another dialog
// inside when it has one; throws once on the way.
class nesting_dialog : public modal_dialog {
public:
  nesting_dialog(std::vector<std::string>& log, const char* name, nesting_dialog* inner)
      : log_(log), name_(name), inner_(inner) {}

protected:
  INT_PTR on_message(UINT message, WPARAM, LPARAM) override {
    if (message == WM_INITDIALOG) {
      PostMessageW(handle(), WM_APP, 0, 0);
      PostMessageW(handle(), WM_APP + 1, 0, 0);
      return TRUE;
    }
    if (message == WM_APP) throw std::runtime_error(std::string(name_) + " failed");
    if (message != WM_APP + 1) return FALSE;
    log_.push_back(std::string(name_) + (modal_scope::none_active() ? " without scope" : " in scope"));
    if (inner_ != nullptr) log_.push_back("inner gave " + std::to_string(inner_->run_modal(TEST_SIMPLE_DIALOG, handle())));
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
  EXPECT_EQ(outer.run_modal(TEST_SIMPLE_DIALOG, nullptr), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"outer in scope", "inner in scope", "inner gave 2"}));
  EXPECT_EQ(recording_popup::shown, (std::vector<std::string>{"outer failed", "inner failed"}));
  EXPECT_TRUE(modal_scope::none_active());
  EXPECT_THROW(outer.run_modal(9999, nullptr), std::exception);
  EXPECT_TRUE(modal_scope::none_active());
}

struct modeless_test_dialog : dialog_object {
  bool process_message(HWND window, UINT message, WPARAM, LPARAM, LRESULT&, DWORD) override {
    return registration.process_message(window, message);
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
  const HWND second = dialog.create_modeless(TEST_SIMPLE_DIALOG, nullptr);
  EXPECT_FALSE(registered(first));
  EXPECT_TRUE(registered(second));
  DestroyWindow(second);
  EXPECT_FALSE(registered(second));
  DestroyWindow(first);
  HWND third = nullptr;
  {
    modeless_test_dialog short_lived;  // ends before its window
    third = short_lived.create_modeless(TEST_SIMPLE_DIALOG, nullptr);
  }
  EXPECT_FALSE(registered(third));
  DestroyWindow(third);
  EXPECT_THROW(dialog.create_modeless(9999, nullptr), std::exception);
}

}  // namespace
