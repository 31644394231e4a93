#include "io/named_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/io_exception_base.h"

namespace {

// Polls a condition that another thread makes true; the bound keeps a broken
// lock from hanging the suite.
bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 10000 && !condition(); ++i) Sleep(1);
  return condition();
}

std::atomic<int> grant_sequence{0};

// A thread that asks for a lock and keeps it until told to let go; it records
// in which order it was granted, or why it failed.
class lock_taker {
public:
  lock_taker(const char* name, bool exclusive) {
    granted_.create();
    let_go_.create();
    worker_ = std::thread([this, name = std::string(name), exclusive] {
      try {
        service_ptr<named_lock> lock;
        (exclusive ? named_lock::acquire_exclusive : named_lock::acquire)(lock, name.c_str(), abort);
        grant_order = ++grant_sequence;
        SetEvent(granted_.get());
        // Answers has_waiters questions until let go, so that the question
        // is asked of the lock this thread holds.
        while (!win32_event::wait(let_go_.get(), 0.001)) {
          if (question_) {
            answer_ = lock->has_waiters();
            question_ = false;
          }
        }
      } catch (const std::exception& e) {
        error = e.what();
      }
    });
  }
  ~lock_taker() {
    abort.raise();
    finish();
  }

  bool granted(double seconds = 10.0) { return win32_event::wait(granted_.get(), seconds); }
  void finish() {
    SetEvent(let_go_.get());
    if (worker_.joinable()) worker_.join();
  }
  bool lock_has_waiters() {
    question_ = true;
    return eventually([this] { return !question_; }) && answer_;
  }

  raisable_abort_signal abort;
  int grant_order = 0;
  std::string error;

private:
  win32_event granted_, let_go_;
  std::atomic<bool> question_{false}, answer_{false};
  std::thread worker_;
};

// Holders and waiters of a name: exclusive held, shared held, exclusive
// waiting, shared waiting.
bool state_is(const char* name, std::uint32_t eh, std::uint32_t sh, std::uint32_t ew, std::uint32_t sw) {
  const named_lock_state s = named_lock_query_state(name);
  return s.exclusive_holders == eh && s.shared_holders == sh && s.exclusive_waiting == ew && s.shared_waiting == sw;
}

class NamedLock : public ::testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(named_lock_tracked_name_count(), 0u) << "a name outlived its locks"; }
  raisable_abort_signal abort;
};

TEST_F(NamedLock, WaitingWriterHoldsBackNewReadersUntilItIsDone) {
  const char* name = "C:\\Music\\b.mp3";
  service_ptr<named_lock> reader, second_reader;
  named_lock::acquire(reader, name, abort);
  named_lock::acquire(second_reader, name, abort);
  EXPECT_FALSE(reader->has_waiters());
  second_reader.reset();

  lock_taker writer(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 0); }));
  EXPECT_TRUE(reader->has_waiters());
  // A reader arriving while the writer waits queues behind it although only
  // readers hold the name.
  lock_taker late_reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 1); }));
  EXPECT_FALSE(writer.granted(0.05));

  reader.reset();
  ASSERT_TRUE(writer.granted());
  EXPECT_TRUE(state_is(name, 1, 0, 0, 1));
  EXPECT_TRUE(writer.lock_has_waiters());
  writer.finish();
  ASSERT_TRUE(late_reader.granted());
  EXPECT_TRUE(state_is(name, 0, 1, 0, 0));
  EXPECT_FALSE(late_reader.lock_has_waiters());
  late_reader.finish();
  EXPECT_LT(writer.grant_order, late_reader.grant_order);
}

TEST_F(NamedLock, WritersAreGrantedOneAtATimeInTheOrderTheyAsked) {
  const char* name = "C:\\Music\\c.ogg";
  service_ptr<named_lock> holder;
  named_lock::acquire_exclusive(holder, name, abort);
  EXPECT_FALSE(holder->has_waiters());
  lock_taker first(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 1, 0, 1, 0); }));
  lock_taker second(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 1, 0, 2, 0); }));
  EXPECT_TRUE(holder->has_waiters());

  holder.reset();
  ASSERT_TRUE(first.granted());
  EXPECT_TRUE(state_is(name, 1, 0, 1, 0));
  EXPECT_FALSE(second.granted(0.05));
  first.finish();
  ASSERT_TRUE(second.granted());
  second.finish();
  EXPECT_LT(first.grant_order, second.grant_order);
}

TEST_F(NamedLock, DifferentNamesNeverWaitForEachOtherAndLetterCaseCounts) {
  service_ptr<named_lock> lower;
  named_lock::acquire_exclusive(lower, "C:\\Music\\e.flac", abort);
  lock_taker upper("C:\\MUSIC\\E.FLAC", true);
  lock_taker other("C:\\Music\\f.flac", true);
  EXPECT_TRUE(upper.granted());
  EXPECT_TRUE(other.granted());
  EXPECT_FALSE(lower->has_waiters());
}

TEST_F(NamedLock, AnAbortedWaitLeavesNoTraceAndNoLongerHoldsBackTheReadersBehindIt) {
  const char* name = "C:\\Music\\h.m4a";
  service_ptr<named_lock> reader;
  named_lock::acquire(reader, name, abort);
  lock_taker writer(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 0); }));
  lock_taker late_reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 1); }));

  writer.abort.raise();
  writer.finish();
  EXPECT_EQ(writer.error, "User abort");
  // Only readers are left: the queued one shares the name at once.
  ASSERT_TRUE(late_reader.granted());
  EXPECT_TRUE(state_is(name, 0, 2, 0, 0));
  EXPECT_FALSE(reader->has_waiters());
}

TEST_F(NamedLock, ManyThreadsNeverSeeAWriterBesideAnybodyElse) {
  std::atomic<int> readers{0}, writers{0}, overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      raisable_abort_signal never;
      for (int round = 0; round < 150; ++round) {
        const bool exclusive = (round + t) % 3 == 0;
        service_ptr<named_lock> lock;
        (exclusive ? named_lock::acquire_exclusive : named_lock::acquire)(lock, "C:\\Music\\busy.flac", never);
        std::atomic<int>& mine = exclusive ? writers : readers;
        ++mine;
        if (writers > 1 || (writers == 1 && readers > 0)) ++overlaps;
        Sleep(round % 4 == 0 ? 1 : 0);
        --mine;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps, 0);
}

}  // namespace
