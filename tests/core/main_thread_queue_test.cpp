#include "core/main_thread_queue.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
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

// A bounded drain runs what was queued when it began, a full one also what
// those callbacks post; a callback that throws ends the drain and the rest waits.
TEST(CallbackQueue, DrainsRunInOrderAndAFailureLeavesTheRestQueued) {
  callback_queue queue;
  std::string order;
  auto add = [&](char name) { queue.append(make_callback([&order, name] { order += name; })); };
  queue.append(make_callback([&] {
    order += 'a';
    add('d');
  }));
  add('b');
  queue.append(make_callback([] { throw std::runtime_error("failed"); }));
  add('c');
  EXPECT_THROW(queue.drain(false), std::runtime_error);
  EXPECT_EQ(order, "ab");
  queue.drain(false);
  EXPECT_EQ(order, "abcd");

  std::function<void()> repost = [&] {
    order += 'r';
    if (order.size() < 8) queue.append(make_callback(repost));
  };
  queue.append(make_callback(repost));
  queue.drain(true);
  EXPECT_EQ(order, "abcdrrrr");
  EXPECT_EQ(queue.get_count(), 0u);
}

// Dispatches this thread's messages until `done` holds; a lost callback fails instead of hanging.
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
  constexpr int threads = 8, posts_per_thread = 400;
  const DWORD main_thread = GetCurrentThreadId();
  std::vector<int> received(threads);
  int total = 0;
  bool in_order_on_main_thread = true;
  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < posts_per_thread; ++i) {
        main_thread_queue::post(make_callback([&, t, i] {
          in_order_on_main_thread = in_order_on_main_thread && GetCurrentThreadId() == main_thread && i == received[t];
          ++received[t];
          ++total;
        }));
      }
    });
  }
  pump_until([&] { return total == threads * posts_per_thread; });
  for (auto& poster : posters) poster.join();
  EXPECT_TRUE(in_order_on_main_thread);
  EXPECT_EQ(total, threads * posts_per_thread);
}

// The hidden main window's class goes with it, and a window destroyed behind
// its back is never handed out.
TEST_F(ProcessQueue, PostsMadeBeforeTheWindowExistedAllRunOnOneWakeUpAndAForeignMessageRunsNone) {
  hidden_main_window::destroy();
  WNDCLASSW unused;
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), hidden_main_window::class_name, &unused));
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
  DestroyWindow(hidden_main_window::get());
  EXPECT_EQ(hidden_main_window::get(), nullptr);
}

}  // namespace
