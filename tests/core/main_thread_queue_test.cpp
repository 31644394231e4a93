#include "core/main_thread_queue.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "core/hidden_main_window.h"
#include "core/service_factory.h"

namespace {

// A fresh counted callback; the queue takes the first reference.
main_thread_callback* make_callback(std::function<void()> work) {
  return new service_counted<main_thread_call>(std::move(work));
}

TEST(CallbackQueue, ABoundedDrainRunsWhatWasQueuedInOrderAndLeavesLaterPostsForTheNextOne) {
  callback_queue queue;
  std::vector<char> order;
  queue.append(make_callback([&] {
    order.push_back('a');
    queue.append(make_callback([&] { order.push_back('d'); }));
  }));
  queue.append(make_callback([&] { order.push_back('b'); }));
  queue.append(make_callback([&] { order.push_back('c'); }));

  queue.drain(false);
  EXPECT_EQ(order, (std::vector<char>{'a', 'b', 'c'}));
  queue.drain(false);
  EXPECT_EQ(order, (std::vector<char>{'a', 'b', 'c', 'd'}));
}

TEST(CallbackQueue, AFullDrainAlsoRunsWhatCallbacksPostMeanwhile) {
  callback_queue queue;
  int runs = 0;
  std::function<void()> repost = [&] {
    if (++runs < 5) queue.append(make_callback(repost));
  };
  queue.append(make_callback(repost));
  queue.drain(true);
  EXPECT_EQ(runs, 5);
  EXPECT_EQ(queue.get_count(), 0u);
}

TEST(CallbackQueue, ACallbackThatThrowsEndsTheDrainAndTheRestWaits) {
  callback_queue queue;
  bool last_ran = false;
  queue.append(make_callback([] { throw std::runtime_error("failed"); }));
  queue.append(make_callback([&] { last_ran = true; }));
  EXPECT_THROW(queue.drain(false), std::runtime_error);
  EXPECT_FALSE(last_ran);
  queue.drain(false);
  EXPECT_TRUE(last_ran);
}

// Dispatches this thread's messages until `done` holds; gives up after a
// long time so that a lost callback fails the test instead of hanging it.
void pump_until(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < 20000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

class ProcessQueue : public ::testing::Test {
protected:
  void SetUp() override { hidden_main_window::create(); }
  void TearDown() override {
    main_thread_queue::drain(true);
    hidden_main_window::destroy();
  }
  static void send_wake_up(WPARAM wparam = main_thread_queue::wake_up_wparam,
                           LPARAM lparam = main_thread_queue::wake_up_lparam) {
    SendMessageW(hidden_main_window::get(), main_thread_queue::wake_up_message, wparam, lparam);
  }
};

TEST_F(ProcessQueue, PostsFromManyThreadsRunOnTheMainThreadInPostingOrderAndNoneIsLost) {
  constexpr int threads = 8;
  constexpr int posts_per_thread = 400;
  const DWORD main_thread = GetCurrentThreadId();
  std::vector<std::vector<int>> received(threads);
  int total = 0;
  bool all_on_main_thread = true;

  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < posts_per_thread; ++i) {
        main_thread_queue::post(make_callback([&, t, i] {
          all_on_main_thread = all_on_main_thread && GetCurrentThreadId() == main_thread;
          received[t].push_back(i);
          ++total;
        }));
      }
    });
  }
  pump_until([&] { return total == threads * posts_per_thread; });
  for (auto& poster : posters) poster.join();

  EXPECT_TRUE(all_on_main_thread);
  for (int t = 0; t < threads; ++t) {
    std::vector<int> expected(posts_per_thread);
    for (int i = 0; i < posts_per_thread; ++i) expected[i] = i;
    EXPECT_EQ(received[t], expected) << "thread " << t;
  }
}

TEST_F(ProcessQueue, PostsMadeBeforeTheWindowExistedAllRunOnOneWakeUpAndAForeignMessageRunsNone) {
  hidden_main_window::destroy();
  int runs = 0;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) main_thread_queue::post(make_callback([&] { ++runs; }));
  });
  worker.join();
  hidden_main_window::create();

  // The wake-up number with other parameters belongs to somebody else.
  send_wake_up(1);
  send_wake_up(main_thread_queue::wake_up_wparam, 2);
  EXPECT_EQ(runs, 0);

  send_wake_up();
  EXPECT_EQ(runs, 3);
}

}  // namespace
