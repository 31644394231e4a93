#include "core/close_confirmation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/close_guard_registry.h"
#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"

namespace {

class task : public close_guard {
public:
  explicit task(const char* description) : description_(description) {}
  void get_description(qiv::string_object& out) override {
    if (description_ == nullptr) throw std::runtime_error("no description");
    out.set_string(description_);
  }

private:
  const char* description_;
};

// A guard that stays registered for one scope.
class registered {
public:
  explicit registered(close_guard& guard) : guard_(guard) { close_guards().add(&guard_); }
  ~registered() { close_guards().remove(&guard_); }

private:
  close_guard& guard_;
};

struct box_seen {
  std::wstring caption;
  std::wstring text;  // without line ends, which the system may rewrite
  HWND owner = nullptr;
  bool yes_and_no = false;
};

std::wstring text_of(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  std::wstring result(text);
  result.erase(std::remove_if(result.begin(), result.end(), [](wchar_t c) { return c == '\r' || c == '\n'; }),
               result.end());
  return result;
}

// Answers each message box of this thread with the chosen button as soon as
// it shows, recording what it said; `while_open` is posted to run inside the
// first box's own loop, before the answer.
class box_answerer {
public:
  explicit box_answerer(int answer, std::function<void()> while_open = nullptr)
      : answer_(answer), while_open_(std::move(while_open)) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
  }
  ~box_answerer() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  std::vector<box_seen> boxes;

private:
  static LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    const HWND box = reinterpret_cast<HWND>(wparam);
    wchar_t name[16] = {};
    if (code == HCBT_ACTIVATE && current_ != nullptr && GetClassNameW(box, name, 16) && std::wstring(name) == L"#32770" &&
        std::find(current_->answered_.begin(), current_->answered_.end(), box) == current_->answered_.end())
      current_->answer(box);
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  void answer(HWND box) {
    answered_.push_back(box);
    box_seen seen{text_of(box), L"", GetWindow(box, GW_OWNER),
                  GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr};
    // The message is the longest static text (the icon is a static too).
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      const std::wstring text = text_of(child);
      if (GetDlgCtrlID(child) != IDYES && GetDlgCtrlID(child) != IDNO && text.size() > seen.text.size()) seen.text = text;
    }
    boxes.push_back(seen);
    if (while_open_) std::exchange(while_open_, nullptr)();
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
  }

  static inline box_answerer* current_ = nullptr;
  int answer_;
  std::function<void()> while_open_;
  HHOOK hook_ = nullptr;
  std::vector<HWND> answered_;
};

class CloseConfirmation : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("dialog_appclose_header", "The following tasks are still active:");
    localized_text::set("dialog_appclose_notice", "If you close Zorv now, their results will be lost. Are you sure?");
    localized_text::set("dialog_appclose_caption", "Closing Zorv Application");
    main_window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                                  nullptr);
    app::state().ui_main_window = main_window;
  }
  void TearDown() override {
    app::state().ui_main_window = nullptr;
    DestroyWindow(main_window);
    localized_text::clear();
    qiv::set_main_thread_id(0);
  }
  HWND main_window = nullptr;
};

TEST_F(CloseConfirmation, TasksWithTheSameDescriptionAreListedOnceWithTheirCount) {
  task copy_a("Copying files"), copy_b("Copying files"), copy_c("Copying files"), scan("Adding folder"),
      gone("Removing tags");
  registered a(copy_a), b(copy_b), c(copy_c), d(scan);
  close_guards().add(&copy_a);  // already there: still one task
  { registered e(gone); }
  qiv::string_buffer text;
  close_confirmation_text(text);
  // Descriptions in byte order of their text, whatever order the tasks came in.
  EXPECT_STREQ(text.get_ptr(),
               "The following tasks are still active:\n"
               "Adding folder\n"
               "Copying files (3)\n"
               "\n"
               "If you close Zorv now, their results will be lost. Are you sure?");
}

TEST_F(CloseConfirmation, WithoutActiveTasksTheProgramClosesWithoutAsking) {
  box_answerer answerer(IDNO);
  EXPECT_TRUE(app_close_confirm());
  EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(CloseConfirmation, TheUsersAnswerDecides) {
  task copy("Copying files");
  registered a(copy);
  {
    box_answerer answerer(IDNO);
    EXPECT_FALSE(app_close_confirm());
    const auto boxes = answerer.boxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"Closing Zorv Application");
    EXPECT_EQ(boxes[0].text, L"The following tasks are still active:Copying files"
                             L"If you close Zorv now, their results will be lost. Are you sure?");
    EXPECT_EQ(boxes[0].owner, main_window);
    EXPECT_TRUE(boxes[0].yes_and_no);
  }
  {
    box_answerer answerer(IDYES);
    EXPECT_TRUE(app_close_confirm());
    EXPECT_EQ(answerer.boxes.size(), 1u);
  }
  EXPECT_TRUE(modal_scope::none_active());
}

TEST_F(CloseConfirmation, AnOpenModalWindowRefusesWithoutAsking) {
  task copy("Copying files");
  registered a(copy);
  box_answerer answerer(IDYES);
  modal_scope dialog;
  dialog.enter(main_window);
  EXPECT_FALSE(app_close_confirm());
  dialog.leave();
  EXPECT_TRUE(answerer.boxes.empty());
}

// The main window meets a second exit request while the question is open
// (an exit forwarded by another instance, the session ending).
LRESULT second_answer = 0;
LRESULT CALLBACK asking_again(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) second_answer = app_close_confirm() ? 1 : 2;
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(CloseConfirmation, ASecondRequestWhileTheQuestionIsOpenIsRefused) {
  task copy("Copying files");
  registered a(copy);
  SetWindowLongPtrW(main_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(asking_again));
  second_answer = 0;
  {
    // Handled by the main thread inside the box's own message loop.
    box_answerer answerer(IDYES, [&] { PostMessageW(main_window, WM_APP, 0, 0); });
    EXPECT_TRUE(app_close_confirm());
    EXPECT_EQ(answerer.boxes.size(), 1u);
  }
  EXPECT_EQ(second_answer, 2);
}

TEST_F(CloseConfirmation, AFailingDescriptionLeavesWithItsException) {
  task broken(nullptr);
  registered a(broken);
  box_answerer answerer(IDYES);
  EXPECT_THROW(app_close_confirm(), std::runtime_error);
  EXPECT_TRUE(answerer.boxes.empty());
}

}  // namespace
