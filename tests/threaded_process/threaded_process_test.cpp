#include "core/threaded_process.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/callback_guard.h"
#include "core/popup_message.h"
#include "core/progress_dialog.h"
#include "core/service_registry.h"
#include "foundation/exceptions.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/thread.h"
#include "foundation/window_text.h"
#include "resources/threaded_process_dialogs.h"
#include "tests/support/message_pump.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

using flags = threaded_process;

// The worker shows its own failure.
struct recording_popup : popup_message {
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    std::lock_guard<std::mutex> hold(lock);
    shown.push_back(std::string(caption) + ": " + text);
  }
  static inline std::mutex lock;
  static inline std::vector<std::string> shown;
};

// Generous: only keeps a broken dialog from hanging the suite.
constexpr DWORD give_up_ms = 10000;

// Worker side: waits without pumping (the worker owns no windows).
void wait_until(const std::function<bool()>& condition) {
  for (const DWORD start = GetTickCount(); !condition() && GetTickCount() - start < give_up_ms;) Sleep(1);
}

void click(HWND dialog, int button) { PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

struct scripted_operation : threaded_process_callback {
  std::function<void(HWND, threaded_process_status&, const abort_signal&)> work;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<bool> ran{false};
  std::atomic<int> done_calls{0};
  bool was_aborted = false;

  void on_init(HWND window) override { dialog = window; }
  void run(threaded_process_status& status, const abort_signal& abort) override {
    ran = true;
    if (work) work(dialog, status, abort);
  }
  std::function<void(HWND)> at_done;
  void on_done(HWND window, bool aborted) override {
    ++done_calls;
    was_aborted = aborted;
    if (at_done) at_done(window);
  }
};

void throw_creation_failure(qiv::thread&) { throw qiv::thread::exception_creation(); }

void bracket_display_form(qiv::string_object& out, const char* path) {
  out.set_string(("[" + std::string(path) + "]").c_str());
}

class ThreadedProcess : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    recording_popup::shown.clear();
    service_registry::build(list_);
    operation_ = new service_counted<scripted_operation>();
  }
  void TearDown() override {
    progress_dialog_hooks::set_worker_starter(nullptr);
    progress_dialog_hooks::set_path_formatter(nullptr);
    service_registry::free();
  }

  // Modal is the short way to run the dialog code the program runs modeless.
  bool run_modal(std::uint32_t options) {
    return threaded_process::get().run_modal(operation_.get(), options, nullptr, "Tagging");
  }
  // References held on the operation besides the test's own.
  std::int32_t foreign_references() {
    const std::int32_t count = operation_->add_ref();
    operation_->release();
    return count - 2;
  }

  service_factory* list_ = nullptr;
  single_factory<sample_tag_service> tags_{&list_};
  single_factory<recording_popup> popup_{&list_};
  service_ptr<scripted_operation> operation_;
};

// Items are paths shown in their display form, shortened with an ellipsis.
TEST_F(ThreadedProcess, ReportedProgressAndItemReachTheDialog) {
  progress_dialog_hooks::set_path_formatter(&bracket_display_form);
  std::atomic<int> position{-1};
  std::string item;
  bool ellipsis = false;
  operation_->work = [&](HWND dialog, threaded_process_status& status, const abort_signal&) {
    status.set_progress(2500);
    status.set_item_path("file://C:\\Rock & Roll.mp3", ~std::size_t(0));
    wait_until([&] {
      position = int(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
      qiv::string_buffer text;
      get_dlg_item_text_utf8(dialog, IDC_PROGRESS_ITEM, text);
      item = text.get_ptr();
      return position == 50 && item == "[file://C:\\Rock && Roll.mp3]";
    });
    ellipsis = (GetWindowLongW(GetDlgItem(dialog, IDC_PROGRESS_ITEM), GWL_STYLE) & SS_PATHELLIPSIS) != 0;
  };
  EXPECT_TRUE(run_modal(flags::flag_show_abort | flags::flag_show_progress | flags::flag_show_item));
  EXPECT_EQ(position, 50);
  // Doubled, so the control shows the '&' instead of underlining the next letter.
  EXPECT_EQ(item, "[file://C:\\Rock && Roll.mp3]");
  EXPECT_TRUE(ellipsis);
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_FALSE(operation_->was_aborted);
  EXPECT_EQ(foreign_references(), 0);
}

// Abort also ends a wait on the signal; work that then leaves by the abort
// exception ends quietly, as aborted.
TEST_F(ThreadedProcess, PauseHoldsTheWorkerUntilResumedOrAborted) {
  std::atomic<int> resumed{-1}, after_abort{-1};
  std::atomic<bool> wait_ended{false};
  operation_->work = [&](HWND dialog, threaded_process_status& status, const abort_signal& abort) {
    click(dialog, IDC_PROGRESS_PAUSE);
    wait_until([&] { return status.is_paused(); });
    click(dialog, IDC_PROGRESS_PAUSE);
    resumed = status.check_pause();
    click(dialog, IDC_PROGRESS_PAUSE);
    wait_until([&] { return status.is_paused(); });
    click(dialog, IDC_PROGRESS_ABORT);
    after_abort = status.check_pause();
    wait_ended = !abort.wait(give_up_ms / 1000.0);
    abort.check_and_throw();
  };
  EXPECT_FALSE(run_modal(flags::flag_show_abort | flags::flag_show_pause));
  EXPECT_EQ(resumed, 1);
  EXPECT_EQ(after_abort, 0);
  EXPECT_TRUE(wait_ended);
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_TRUE(operation_->was_aborted);
  EXPECT_TRUE(recording_popup::shown.empty());
}

// Something that is no std::exception cannot be shown, but must not leave
// the dialog waiting for a worker that is gone either.
TEST_F(ThreadedProcess, WorkerFailuresAreShownAndTheOperationStillEndsOnce) {
  const struct {
    std::function<void(HWND, threaded_process_status&, const abort_signal&)> work;
    void (*starter)(qiv::thread&);
    bool result;
    std::vector<std::string> shown;
  } cases[] = {
      {[](HWND, threaded_process_status&, const abort_signal&) { throw std::runtime_error("Disk not ready"); },
       nullptr, true, {"Unhandled exception in \"Tagging\": Disk not ready"}},
      {[](HWND, threaded_process_status&, const abort_signal&) { throw 42; }, nullptr, true, {}},
      {nullptr, &throw_creation_failure, false, {"Tagging: Could not create thread"}},
  };
  int runs = 0;
  for (const auto& c : cases) {
    recording_popup::shown.clear();
    operation_->ran = false;
    operation_->work = c.work;
    progress_dialog_hooks::set_worker_starter(c.starter);
    EXPECT_EQ(run_modal(flags::flag_show_abort), c.result);
    EXPECT_EQ(recording_popup::shown, c.shown);
    EXPECT_EQ(operation_->done_calls, ++runs);
    EXPECT_EQ(operation_->was_aborted, !c.result) << "a worker that never started ends as aborted";
    EXPECT_EQ(operation_->ran.load(), c.starter == nullptr);
    EXPECT_EQ(foreign_references(), 0);
  }
}

// Closing a modeless dialog while its work runs, by hand or at shutdown,
// aborts the work and waits for it; the worker's end, posted to the gone
// window, must not end anything.
TEST_F(ThreadedProcess, ClosingAModelessDialogEarlyAbortsAndJoinsTheWorker) {
  const struct {
    const char* why;
    std::function<void(HWND)> close;
  } cases[] = {
      {"destroyed early", [](HWND dialog) { DestroyWindow(dialog); }},
      {"shutdown closes every modeless dialog", [](HWND) { dialog_registry_destroy_all(); }},
  };
  for (const auto& c : cases) {
    std::atomic<bool> worker_ended{false};
    operation_->ran = false;
    operation_->work = [&](HWND, threaded_process_status&, const abort_signal& abort) {
      abort.wait(-1);
      worker_ended = true;
    };
    threaded_process::get().run_modeless(operation_.get(), flags::flag_show_abort, nullptr, "Endless");
    ASSERT_TRUE(pump_until([&] { return operation_->ran.load(); })) << c.why;
    c.close(operation_->dialog);
    EXPECT_TRUE(worker_ended) << c.why;
    EXPECT_FALSE(IsWindow(operation_->dialog)) << c.why;
    pump_until([] { return false; }, 50);  // what is already queued
    EXPECT_EQ(operation_->done_calls, 0) << c.why;
    EXPECT_EQ(foreign_references(), 0) << c.why;
  }
}

// A dialog shown late must not come up over the window the user is in (a
// question being answered).
TEST_F(ThreadedProcess, ADelayedDialogShowsWithoutTakingTheFocus) {
  const HWND user_window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                           nullptr, nullptr);
  SetActiveWindow(user_window);
  operation_->work = [](HWND, threaded_process_status&, const abort_signal& abort) { abort.wait(-1); };
  threaded_process::get().run_modeless(operation_.get(), flags::flag_show_delayed | flags::flag_show_abort, nullptr,
                                       "Late");
  ASSERT_TRUE(pump_until([&] { return operation_->dialog != nullptr && IsWindowVisible(operation_->dialog); }));
  EXPECT_EQ(GetActiveWindow(), user_window);
  DestroyWindow(operation_->dialog);
  DestroyWindow(user_window);
}

// As when a caller closes the dialog's parent while its end step runs.
TEST_F(ThreadedProcess, ModelessDialogDestroyedFromItsOwnEndStepEndsOnce) {
  operation_->at_done = [](HWND dialog) { DestroyWindow(dialog); };
  threaded_process::get().run_modeless(operation_.get(), 0, nullptr, "Closing");
  ASSERT_TRUE(pump_until([&] { return operation_->done_calls == 1; }));
  pump_until([] { return false; }, 50);
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_EQ(foreign_references(), 0);
}

// A modeless dialog's end step has no caller left to hear of its failure:
// the dialog says it, as a worker's failure is said, and only an internal
// error is kept for the message loop, whose end is the program's.
TEST_F(ThreadedProcess, AModelessEndStepsFailureIsShownAndOnlyAnInternalErrorReachesTheLoop) {
  operation_->at_done = [](HWND) { throw std::bad_alloc(); };
  threaded_process::get().run_modeless(operation_.get(), 0, nullptr, "Loading");
  ASSERT_TRUE(pump_until([&] { return operation_->done_calls == 1 && !IsWindow(operation_->dialog); }));
  EXPECT_EQ(recording_popup::shown, std::vector<std::string>{"Unhandled exception in \"Loading\": not enough memory"});
  EXPECT_NO_THROW(callback_guard::rethrow_pending());

  operation_->at_done = [](HWND) { qiv::throw_bug_check(); };
  threaded_process::get().run_modeless(operation_.get(), 0, nullptr, "Loading");
  ASSERT_TRUE(pump_until([&] { return operation_->done_calls == 2 && !IsWindow(operation_->dialog); }));
  EXPECT_THROW(callback_guard::rethrow_pending(), qiv::exception_bug_check);
  EXPECT_EQ(recording_popup::shown.size(), 1u);
  EXPECT_EQ(foreign_references(), 0);
}

}  // namespace
