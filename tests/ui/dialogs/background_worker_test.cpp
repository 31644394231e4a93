// The worker's result reaches the main thread once per finished run, never
// for a run that was replaced or whose owner ended.
#include "ui/dialogs/background_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "support/message_pump.h"

namespace {

class test_worker final : public background_worker {
public:
  explicit test_worker(std::vector<std::int32_t>& done) : done(done) {}
  ~test_worker() override { stop_and_wait(); }

  std::atomic<int> runs{0};
  std::atomic<bool> wait_for_abort{false};
  std::atomic<bool> throw_in_run{false};
  std::atomic<bool> started{false};
  std::vector<std::int32_t>& done;

protected:
  std::int32_t run(const abort_signal& abort) override {
    const int number = ++runs;
    started = true;
    if (throw_in_run) throw std::runtime_error("failed");
    if (wait_for_abort) abort.wait(-1);
    return 100 + number;
  }
  void on_done(std::int32_t result) override { done.push_back(result); }
};

// Gives queued completions every chance to arrive.
void settle() { pump_until([] { return main_thread_queue::get_count() == 0; }, 2000); pump_pending(); }

TEST(BackgroundWorker, ARunReportsItsResultOnceOnTheMainThread) {
  std::vector<std::int32_t> done;
  test_worker worker(done);
  worker.start();
  ASSERT_TRUE(pump_until([&] { return !worker.done.empty(); }));
  settle();
  ASSERT_EQ(worker.done.size(), 1u);
  EXPECT_EQ(worker.done[0], 101);
  EXPECT_FALSE(worker.is_running());
  worker.complete(5);  // a stray completion without a job does nothing
  EXPECT_EQ(worker.done.size(), 1u);
}

TEST(BackgroundWorker, StartingTwiceYieldsOneCompletionForTheSecondRun) {
  std::vector<std::int32_t> done;
  test_worker worker(done);
  worker.start();
  worker.start();
  ASSERT_TRUE(pump_until([&] { return !worker.done.empty(); }));
  settle();
  ASSERT_EQ(worker.done.size(), 1u);
  EXPECT_EQ(worker.done[0], 100 + worker.runs.load());
  EXPECT_EQ(worker.runs.load(), 2);
}

TEST(BackgroundWorker, AFinishedRunReplacedBeforeItsCompletionArrivedIsNotReported) {
  std::vector<std::int32_t> done;
  test_worker worker(done);
  worker.start();
  // Let the first run end and queue its completion, then start over before
  // the main thread looks at the queue.
  while (main_thread_queue::get_count() == 0) Sleep(1);
  worker.start();
  ASSERT_TRUE(pump_until([&] { return !worker.done.empty(); }));
  settle();
  ASSERT_EQ(worker.done.size(), 1u);
  EXPECT_EQ(worker.done[0], 102);
}

TEST(BackgroundWorker, EndingTheOwnerWhileItRunsWaitsForTheRunAndReportsNothing) {
  std::vector<std::int32_t> done;
  {
    std::vector<std::int32_t> done;
  test_worker worker(done);
    worker.wait_for_abort = true;
    worker.start();
    while (!worker.started) Sleep(1);
    // The destructor raises the signal; the run returns and is waited for.
  }
  settle();
  EXPECT_TRUE(done.empty());
}

TEST(BackgroundWorker, ARunThatThrowsReportsMinusOne) {
  std::vector<std::int32_t> done;
  test_worker worker(done);
  worker.throw_in_run = true;
  worker.start();
  ASSERT_TRUE(pump_until([&] { return !worker.done.empty(); }));
  EXPECT_EQ(worker.done[0], -1);
}

}  // namespace
