#include "core/close_confirmation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
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

// Watches the main thread for message boxes, records each one and closes it
// with the chosen button; `on_first_box` runs while the first one is open.
class box_answerer {
public:
  explicit box_answerer(int answer, std::function<void()> on_first_box = nullptr)
      : answer_(answer), on_box_(std::move(on_first_box)), thread_(GetCurrentThreadId()), watcher_([this] { watch(); }) {}
  ~box_answerer() {
    stop_ = true;
    watcher_.join();
  }
  std::vector<box_seen> boxes() {
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
  }

private:
  static std::wstring text_of(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    std::wstring result(text);
    result.erase(std::remove_if(result.begin(), result.end(), [](wchar_t c) { return c == '\r' || c == '\n'; }),
                 result.end());
    return result;
  }
  static bool is_dialog(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
  }

  void watch() {
    while (!stop_) {
      std::vector<HWND> open;
      EnumThreadWindows(
          thread_,
          [](HWND window, LPARAM found) WINAPI -> BOOL {
            if (IsWindowVisible(window) && is_dialog(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&open));
      HWND box = nullptr;
      for (HWND candidate : open)
        if (std::find(answered_.begin(), answered_.end(), candidate) == answered_.end()) box = candidate;
      if (box == nullptr) {
        Sleep(10);
        continue;
      }
      box_seen seen{text_of(box), L"", GetWindow(box, GW_OWNER),
                    GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr};
      // The message is the longest static text (the icon is a static too).
      for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = text_of(child);
        if (GetDlgCtrlID(child) != IDYES && GetDlgCtrlID(child) != IDNO && text.size() > seen.text.size()) seen.text = text;
      }
      {
        std::lock_guard<std::mutex> hold(lock_);
        boxes_.push_back(seen);
      }
      if (on_box_) std::exchange(on_box_, nullptr)();
      answered_.push_back(box);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
    }
  }

  int answer_;
  std::function<void()> on_box_;
  DWORD thread_;
  std::atomic<bool> stop_{false};
  std::vector<HWND> answered_;
  std::mutex lock_;
  std::vector<box_seen> boxes_;
  std::thread watcher_;
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
  EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(CloseConfirmation, TheUsersAnswerDecides) {
  task copy("Copying files");
  registered a(copy);
  {
    box_answerer answerer(IDNO);
    EXPECT_FALSE(app_close_confirm());
    const auto boxes = answerer.boxes();
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
    EXPECT_EQ(answerer.boxes().size(), 1u);
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
  EXPECT_TRUE(answerer.boxes().empty());
}

// The main window meets a second exit request while the question is open
// (an exit forwarded by another instance, the session ending).
LRESULT CALLBACK asking_again(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) return app_close_confirm() ? 1 : 2;
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(CloseConfirmation, ASecondRequestWhileTheQuestionIsOpenIsRefused) {
  task copy("Copying files");
  registered a(copy);
  SetWindowLongPtrW(main_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(asking_again));
  std::atomic<LRESULT> second_answer{0};
  {
    box_answerer answerer(IDYES, [&] {
      DWORD_PTR result = 0;
      // The main thread handles it inside the box's own message loop.
      SendMessageTimeoutW(main_window, WM_APP, 0, 0, SMTO_NORMAL, 5000, &result);
      second_answer = static_cast<LRESULT>(result);
    });
    EXPECT_TRUE(app_close_confirm());
    EXPECT_EQ(answerer.boxes().size(), 1u);
  }
  EXPECT_EQ(second_answer.load(), 2);
}

TEST_F(CloseConfirmation, AFailingDescriptionLeavesWithItsException) {
  task broken(nullptr);
  registered a(broken);
  box_answerer answerer(IDYES);
  EXPECT_THROW(app_close_confirm(), std::runtime_error);
  EXPECT_TRUE(answerer.boxes().empty());
}

}  // namespace
