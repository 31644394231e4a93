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

// A task registered for its scope; one without a description fails to give it.
struct task : close_guard {
  explicit task(const char* description) : description(description) { close_guards().add(this); }
  ~task() { close_guards().remove(this); }
  void get_description(qiv::string_object& out) override {
    if (description == nullptr) throw std::runtime_error("no description");
    out.set_string(description);
  }
  const char* description;
};

// A task that stops cleanly at a close says so instead of the general notice.
struct writing_task : task {
  explicit writing_task(const char* description) : task(description) {}
  const char* close_notice_id() override { return "dialog_appclose_notice_writes"; }
};

struct box_seen {
  std::wstring caption;
  HWND owner;
  bool yes_and_no;
};

// Answers each message box of this thread with the chosen button as soon as
// it shows, recording what it looked like; `while_open` is posted to run
// inside the first box's own loop, before the answer.
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
    wchar_t caption[256] = {};
    GetWindowTextW(box, caption, 256);
    boxes.push_back({caption, GetWindow(box, GW_OWNER), GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)});
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
    localized_text::set("dialog_appclose_notice_writes", "It finishes the files it is writing.");
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
  task copy_a("Copying files"), copy_b("Copying files"), copy_c("Copying files"), scan("Adding folder");
  close_guards().add(&copy_a);  // already there: still one task
  { task gone("Removing tags"); }
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

TEST_F(CloseConfirmation, EachKindOfTaskSaysOnceWhatTheCloseDoesToIt) {
  writing_task update_a("Updating Files"), update_b("Updating Files");
  qiv::string_buffer text;
  close_confirmation_text(text);
  EXPECT_STREQ(text.get_ptr(),
               "The following tasks are still active:\n"
               "Updating Files (2)\n"
               "\n"
               "It finishes the files it is writing.");
  task scan("Adding folder");
  close_confirmation_text(text);
  EXPECT_STREQ(text.get_ptr(),
               "The following tasks are still active:\n"
               "Adding folder\n"
               "Updating Files (2)\n"
               "\n"
               "If you close Zorv now, their results will be lost. Are you sure?\n"
               "It finishes the files it is writing.");
}

TEST_F(CloseConfirmation, TheUsersAnswerDecides) {
  task copy("Copying files");
  {
    box_answerer answerer(IDNO);
    EXPECT_FALSE(app_close_confirm());
    ASSERT_EQ(answerer.boxes.size(), 1u);
    const box_seen& box = answerer.boxes[0];
    EXPECT_EQ(box.caption, L"Closing Zorv Application");  // the text is the one checked above
    EXPECT_EQ(box.owner, main_window);
    EXPECT_TRUE(box.yes_and_no);
  }
  box_answerer answerer(IDYES);
  EXPECT_TRUE(app_close_confirm());
  EXPECT_EQ(answerer.boxes.size(), 1u);
  EXPECT_TRUE(modal_scope::none_active());
}

// Without tasks it closes, under an open modal window it refuses, and a
// failing description leaves with its exception: none of them asks.
TEST_F(CloseConfirmation, DecidesWithoutAskingWhenThereIsNothingToAsk) {
  box_answerer answerer(IDYES);
  EXPECT_TRUE(app_close_confirm());
  task copy("Copying files");
  modal_scope dialog;
  dialog.enter(main_window);
  EXPECT_FALSE(app_close_confirm());
  dialog.leave();
  task broken(nullptr);
  EXPECT_THROW(app_close_confirm(), std::runtime_error);
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

}  // namespace
