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

#include "core/dialog_registry.h"
#include "core/io_exception_base.h"
#include "core/popup_message.h"
#include "core/progress_dialog.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "tests/support/sample_tag_service.h"
#include "foundation/main_thread.h"
#include "foundation/thread.h"
#include "foundation/window_text.h"
#include "foundation/string_buffer.h"
#include "resources/threaded_process_dialogs.h"
#include "tests/support/single_factory.h"
#include "tests/support/message_pump.h"

namespace {

using flags = threaded_process;

// The registry refuses to build without exactly one.

class recording_popup : public popup_message {
public:
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
bool wait_until(const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > give_up_ms) return false;
    Sleep(1);
  }
  return true;
}

// Runs what is already queued, then returns.
void drain_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void click(HWND dialog, int button) { PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

std::string control_text(HWND dialog, int id) {
  qiv::string_buffer text;
  get_dlg_item_text_utf8(dialog, id, text);
  return text.get_ptr();
}

class scripted_operation : public threaded_process_callback {
public:
  std::function<void(HWND, threaded_process_status&, const abort_signal&)> work;
  std::atomic<HWND> dialog{nullptr};
  std::atomic<bool> ran{false};
  std::atomic<int> done_calls{0};
  bool was_aborted = false;
  bool visible_at_done = false;

  void on_init(HWND window) override { dialog = window; }
  void run(threaded_process_status& status, const abort_signal& abort) override {
    ran = true;
    if (work) work(dialog, status, abort);
  }
  std::function<void(HWND)> at_done;
  void on_done(HWND window, bool aborted) override {
    ++done_calls;
    was_aborted = aborted;
    visible_at_done = IsWindowVisible(window) != FALSE;
    if (at_done) at_done(window);
  }
};

void throw_creation_failure(qiv::thread&) { throw qiv::thread::exception_creation(); }

void bracket_display_form(qiv::string_object& out, const char* path) {
  out.set_string("[");
  out.add_string(path);
  out.add_string("]");
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

  bool run_modal(std::uint32_t options, const char* title = "Tagging") {
    return threaded_process::get().run_modal(operation_.get(), options, nullptr, title);
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

TEST_F(ThreadedProcess, ReportedProgressItemAndTitleReachTheDialog) {
  std::atomic<int> primary{-1}, secondary{-1};
  std::string item, title;
  operation_->work = [&](HWND dialog, threaded_process_status& status, const abort_signal&) {
    status.set_progress(2500);
    status.set_progress_secondary(threaded_process_status::progress_max);
    status.set_item("Rock & Roll.mp3", ~std::size_t(0));
    status.set_title("Writing tags", ~std::size_t(0));
    wait_until([&] {
      primary = int(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
      secondary = int(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR_SECONDARY, PBM_GETPOS, 0, 0));
      item = control_text(dialog, IDC_PROGRESS_ITEM);
      qiv::string_buffer text;
      get_window_text_utf8(dialog, text);
      title = text.get_ptr();
      return primary == 50 && secondary == 100 && item == "Rock && Roll.mp3" && title == "Writing tags";
    });
  };
  EXPECT_TRUE(run_modal(flags::flag_show_abort | flags::flag_show_progress_dual | flags::flag_show_item));
  EXPECT_EQ(primary, 50);
  EXPECT_EQ(secondary, 100);
  // Doubled, so the control shows the '&' instead of underlining the next letter.
  EXPECT_EQ(item, "Rock && Roll.mp3");
  EXPECT_EQ(title, "Writing tags");
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_FALSE(operation_->was_aborted);
  EXPECT_EQ(foreign_references(), 0);
}

TEST_F(ThreadedProcess, PathItemsShowTheirDisplayFormShortenedWithEllipsis) {
  progress_dialog_hooks::set_path_formatter(&bracket_display_form);
  std::string item;
  bool ellipsis = false;
  operation_->work = [&](HWND dialog, threaded_process_status& status, const abort_signal&) {
    status.set_item_path("file://C:\\a&b.flac", ~std::size_t(0));
    status.force_update();
    wait_until([&] {
      item = control_text(dialog, IDC_PROGRESS_ITEM);
      return item == "[file://C:\\a&&b.flac]";
    });
    ellipsis = (GetWindowLongW(GetDlgItem(dialog, IDC_PROGRESS_ITEM), GWL_STYLE) & SS_PATHELLIPSIS) != 0;
  };
  EXPECT_TRUE(run_modal(flags::flag_show_item));
  EXPECT_EQ(item, "[file://C:\\a&&b.flac]");
  EXPECT_TRUE(ellipsis);
}

TEST_F(ThreadedProcess, AbortButtonReachesTheWorkerAndEndsAsAborted) {
  std::atomic<bool> saw_abort{false};
  operation_->work = [&](HWND dialog, threaded_process_status&, const abort_signal& abort) {
    click(dialog, IDC_PROGRESS_ABORT);
    saw_abort = !abort.wait(give_up_ms / 1000.0);
    abort.check_and_throw();  // the usual way work ends on abort: quietly
  };
  EXPECT_FALSE(run_modal(flags::flag_show_abort));
  EXPECT_TRUE(saw_abort);
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_TRUE(operation_->was_aborted);
  EXPECT_TRUE(recording_popup::shown.empty());

  // Ignored when the operation is not abortable.
  std::atomic<bool> aborted{true};
  operation_->work = [&](HWND dialog, threaded_process_status&, const abort_signal& abort) {
    SendMessageW(dialog, WM_COMMAND, IDC_PROGRESS_ABORT, 0);
    aborted = abort.is_set();
  };
  EXPECT_TRUE(run_modal(flags::flag_show_progress));
  EXPECT_FALSE(aborted);
  EXPECT_FALSE(operation_->was_aborted);
}

TEST_F(ThreadedProcess, PauseHoldsTheWorkerUntilResumedOrAborted) {
  std::atomic<int> resumed{-1}, after_abort{-1};
  operation_->work = [&](HWND dialog, threaded_process_status& status, const abort_signal&) {
    click(dialog, IDC_PROGRESS_PAUSE);
    wait_until([&] { return status.is_paused(); });
    click(dialog, IDC_PROGRESS_PAUSE);
    resumed = status.check_pause();

    click(dialog, IDC_PROGRESS_PAUSE);
    wait_until([&] { return status.is_paused(); });
    click(dialog, IDC_PROGRESS_ABORT);
    after_abort = status.check_pause();
  };
  EXPECT_FALSE(run_modal(flags::flag_show_abort | flags::flag_show_pause));
  EXPECT_EQ(resumed, 1);
  EXPECT_EQ(after_abort, 0);
}

TEST_F(ThreadedProcess, WorkerExceptionIsShownAndTheOperationStillEnds) {
  operation_->work = [](HWND, threaded_process_status&, const abort_signal&) {
    throw std::runtime_error("Disk not ready");
  };
  EXPECT_TRUE(run_modal(flags::flag_show_abort));
  EXPECT_EQ(recording_popup::shown, std::vector<std::string>{"Unhandled exception in \"Tagging\": Disk not ready"});
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_FALSE(operation_->was_aborted);

  // Something that is no std::exception cannot be shown, but must not leave
  // the dialog waiting for a worker that is gone.
  operation_->work = [](HWND, threaded_process_status&, const abort_signal&) { throw 42; };
  EXPECT_TRUE(run_modal(flags::flag_show_abort));
  EXPECT_EQ(operation_->done_calls, 2);
}

TEST_F(ThreadedProcess, WorkerThatCannotStartEndsAsAbortedWithTheError) {
  progress_dialog_hooks::set_worker_starter(&throw_creation_failure);
  EXPECT_FALSE(run_modal(flags::flag_show_abort));
  EXPECT_FALSE(operation_->ran);
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_TRUE(operation_->was_aborted);
  EXPECT_EQ(recording_popup::shown, std::vector<std::string>{"Tagging: Could not create thread"});
  EXPECT_EQ(foreign_references(), 0);
}

// Delayed, a short operation never shows its dialog and a long one does;
// without the delay the dialog shows at once.
TEST_F(ThreadedProcess, ModelessDelayedShowAppearsOnlyForALongOperation) {
  const struct {
    const char* why;
    std::uint32_t options;
    bool long_work;
    bool shown;
  } cases[] = {{"short, delayed", flags::flag_show_delayed, false, false},
               {"short, not delayed", 0, false, true},
               {"long, delayed", flags::flag_show_delayed, true, true}};
  int runs = 0;
  for (const auto& c : cases) {
    operation_->work = [&](HWND dialog, threaded_process_status&, const abort_signal& abort) {
      if (c.long_work) wait_until([&] { return abort.is_set() || IsWindowVisible(dialog); });
    };
    EXPECT_TRUE(threaded_process::get().run_modeless(operation_.get(), c.options, nullptr, "Modeless")) << c.why;
    ASSERT_TRUE(pump_until([&] { return operation_->done_calls == runs + 1; })) << c.why;
    ++runs;
    EXPECT_EQ(operation_->visible_at_done, c.shown) << c.why;
    EXPECT_FALSE(operation_->was_aborted) << c.why;
    EXPECT_FALSE(IsWindow(operation_->dialog)) << c.why;
    EXPECT_EQ(foreign_references(), 0) << c.why;
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
    drain_messages();
    EXPECT_EQ(operation_->done_calls, 0) << c.why;
    EXPECT_EQ(foreign_references(), 0) << c.why;
  }
}

TEST_F(ThreadedProcess, ModalEndStepThatThrowsReachesTheCaller) {
  operation_->at_done = [](HWND) { throw std::runtime_error("tags not saved"); };
  EXPECT_THROW(run_modal(0), std::runtime_error);
  EXPECT_EQ(operation_->done_calls, 1);
}

TEST_F(ThreadedProcess, ModelessDialogDestroyedFromItsOwnEndStepEndsOnce) {
  // As when a caller closes the dialog's parent while its end step runs.
  operation_->at_done = [](HWND dialog) { DestroyWindow(dialog); };
  threaded_process::get().run_modeless(operation_.get(), 0, nullptr, "Closing");
  ASSERT_TRUE(pump_until([&] { return operation_->done_calls == 1; }));
  drain_messages();
  EXPECT_EQ(operation_->done_calls, 1);
  EXPECT_EQ(foreign_references(), 0);
}

}  // namespace
