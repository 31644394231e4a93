#include "foundation/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include <windows.h>

namespace {

class recording_thread : public qiv::thread {
public:
  ~recording_thread() override { wait_till_done(); }

  std::atomic<int> runs{0};
  std::atomic<int> active{0};
  std::atomic<int> most_active{0};
  DWORD thread_id = 0;
  int priority = 0;
  bool throw_in_run = false;
  DWORD pause_ms = 0;

private:
  void run() override {
    const int now_active = ++active;
    if (now_active > most_active) most_active = now_active;
    thread_id = GetCurrentThreadId();
    priority = GetThreadPriority(GetCurrentThread());
    if (pause_ms) Sleep(pause_ms);
    ++runs;
    --active;
    if (throw_in_run) throw std::runtime_error("worker failed");
  }
};

// Restores the test thread's priority however the test ends.
class caller_priority {
public:
  explicit caller_priority(int priority) : saved_(GetThreadPriority(GetCurrentThread())) { set(priority); }
  ~caller_priority() { set(saved_); }
  void set(int priority) { SetThreadPriority(GetCurrentThread(), priority); }

private:
  int saved_;
};

TEST(Thread, RunExecutesOnItsOwnThread) {
  recording_thread worker;
  worker.wait_till_done();  // nothing started: returns at once
  worker.start();
  worker.wait_till_done();
  EXPECT_EQ(worker.runs, 1);
  EXPECT_NE(worker.thread_id, 0u);
  EXPECT_NE(worker.thread_id, GetCurrentThreadId());
}

TEST(Thread, ExceptionInRunEndsTheThreadQuietly) {
  recording_thread worker;
  worker.throw_in_run = true;
  worker.start();
  worker.wait_till_done();
  EXPECT_EQ(worker.runs, 1);
  // The object stays usable.
  worker.start();
  worker.wait_till_done();
  EXPECT_EQ(worker.runs, 2);
}

TEST(Thread, StartingAgainFirstJoinsThePreviousRun) {
  recording_thread worker;
  worker.pause_ms = 30;
  worker.start();
  worker.start();
  worker.start();
  worker.wait_till_done();
  EXPECT_EQ(worker.runs, 3);
  EXPECT_EQ(worker.most_active, 1);
}

// The base joins too, so no thread outlives the memory it was given, even
// for an owner that forgot to join in its own destructor.
TEST(Thread, DestroyingTheOwnerJoinsTheThread) {
  std::atomic<bool> started{false};
  std::atomic<int> running{0};
  class forgetful_owner : public qiv::thread {
  public:
    forgetful_owner(std::atomic<bool>& started, std::atomic<int>& running) : started_(started), running_(running) {}

  private:
    void run() override {
      ++running_;
      started_ = true;
      Sleep(50);
      --running_;
    }
    std::atomic<bool>& started_;
    std::atomic<int>& running_;
  };
  {
    forgetful_owner worker(started, running);
    worker.start();
    while (!started) Sleep(1);
  }
  EXPECT_EQ(running, 0);
}

TEST(Thread, NewThreadStartsAtItsCreatorsPriority) {
  for (int priority : {THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_LOWEST}) {
    caller_priority scope(priority);
    recording_thread worker;
    worker.start();
    worker.wait_till_done();
    EXPECT_EQ(worker.priority, priority);
  }
}

// A worker started low must not hold up a joiner of higher priority.
TEST(Thread, JoiningLendsTheJoinersHigherPriority) {
  class waiting_for_a_raise : public qiv::thread {
  public:
    ~waiting_for_a_raise() override { wait_till_done(); }
    int seen = THREAD_PRIORITY_ERROR_RETURN;

  private:
    void run() override {
      for (int i = 0; i < 10000; ++i) {  // gives up after about ten seconds
        seen = GetThreadPriority(GetCurrentThread());
        if (seen != THREAD_PRIORITY_BELOW_NORMAL) return;
        Sleep(1);
      }
    }
  };
  caller_priority scope(THREAD_PRIORITY_BELOW_NORMAL);
  waiting_for_a_raise worker;
  worker.start();
  scope.set(THREAD_PRIORITY_ABOVE_NORMAL);
  worker.wait_till_done();
  EXPECT_EQ(worker.seen, THREAD_PRIORITY_ABOVE_NORMAL);
}

} // namespace
