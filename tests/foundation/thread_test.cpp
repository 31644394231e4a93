// Worker threads: one run at a time, quiet failures, joined, priority lent to joiners.
#include "foundation/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include <windows.h>

namespace {

class recording_thread : public qiv::thread {
public:
  ~recording_thread() override { wait_till_done(); }
  std::atomic<int> runs{0}, active{0}, most_active{0};
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
    Sleep(pause_ms);
    ++runs;
    --active;
    if (throw_in_run) throw std::runtime_error("worker failed");
  }
};

TEST(Thread, RunsOnItsOwnThreadOneRunAtATimeAndSurvivesAThrowingRun) {
  recording_thread worker;
  worker.wait_till_done();  // nothing started: returns at once
  worker.throw_in_run = true;
  worker.start();
  worker.wait_till_done();  // the exception ended the run quietly
  worker.throw_in_run = false;
  worker.pause_ms = 30;
  worker.start();
  worker.start();  // joins the previous run first
  worker.wait_till_done();
  EXPECT_EQ(worker.runs, 3);
  EXPECT_EQ(worker.most_active, 1);
  EXPECT_NE(worker.thread_id, GetCurrentThreadId());
}

// The base joins too, so no thread outlives the memory it was given, even
// for an owner that forgot to join in its own destructor.
TEST(Thread, DestroyingTheOwnerJoinsTheThread) {
  static std::atomic<bool> started{false};
  static std::atomic<int> running{0};
  class forgetful_owner : public qiv::thread {
    void run() override {
      ++running;
      started = true;
      Sleep(50);
      --running;
    }
  };
  {
    forgetful_owner worker;
    worker.start();
    while (!started) Sleep(1);
  }
  EXPECT_EQ(running, 0);
}

TEST(Thread, StartsAtItsCreatorsPriorityAndJoiningLendsAHigherOne) {
  const int saved = GetThreadPriority(GetCurrentThread());
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  recording_thread inheriting;
  inheriting.start();
  inheriting.wait_till_done();
  EXPECT_EQ(inheriting.priority, THREAD_PRIORITY_LOWEST);

  class waiting_for_a_raise : public qiv::thread {
  public:
    ~waiting_for_a_raise() override { wait_till_done(); }
    int seen = THREAD_PRIORITY_ERROR_RETURN;

  private:
    void run() override {
      for (int i = 0; i < 10000; ++i) {  // gives up after about ten seconds
        if ((seen = GetThreadPriority(GetCurrentThread())) != THREAD_PRIORITY_LOWEST) return;
        Sleep(1);
      }
    }
  } worker;
  worker.start();
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  worker.wait_till_done();
  SetThreadPriority(GetCurrentThread(), saved);
  EXPECT_EQ(worker.seen, THREAD_PRIORITY_ABOVE_NORMAL);
}

} // namespace
