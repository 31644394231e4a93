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
bool eventually(const std::function<bool()>& condition, int milliseconds = 10000) {
  for (int i = 0; i < milliseconds && !condition(); ++i) Sleep(1);
  return condition();
}

// Asks for a lock on a thread of its own; the test then holds, queries and
// releases the granted lock through `lock` (locks know no owner thread).
class lock_taker {
public:
  lock_taker(const char* name, bool exclusive)
      : thread_([=, this] {
          try {
            (exclusive ? named_lock::acquire_exclusive : named_lock::acquire)(lock, name, abort);
          } catch (const std::exception& e) {
            error = e.what();
          }
          done = true;
        }) {}
  ~lock_taker() { abort.raise(); thread_.join(); }
  bool granted(int milliseconds = 10000) {
    return eventually([this] { return done.load(); }, milliseconds) && lock.get() != nullptr;
  }

  raisable_abort_signal abort;
  service_ptr<named_lock> lock;
  std::atomic<bool> done{false};
  std::string error;

private:
  std::thread thread_;
};

// Exclusive holders, shared holders, exclusive waiters, shared waiters.
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
  service_ptr<named_lock> reader;
  named_lock::acquire(reader, name, abort);
  lock_taker writer(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 0); }));
  // A reader arriving while the writer waits queues behind it although only
  // readers hold the name.
  lock_taker late_reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 1); }));
  EXPECT_FALSE(writer.granted(50));

  reader.reset();
  ASSERT_TRUE(writer.granted());
  EXPECT_TRUE(state_is(name, 1, 0, 0, 1));
  writer.lock.reset();
  ASSERT_TRUE(late_reader.granted());
  EXPECT_TRUE(state_is(name, 0, 1, 0, 0));
}

TEST_F(NamedLock, AnAbortedWaitLeavesNoTraceAndNoLongerHoldsBackTheReadersBehindIt) {
  const char* name = "C:\\Music\\h.m4a";
  service_ptr<named_lock> reader;
  named_lock::acquire(reader, name, abort);
  lock_taker writer(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 0); }));
  lock_taker late_reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 1); }));
  lock_taker other("C:\\MUSIC\\H.M4A", true);  // letter case makes another name
  EXPECT_TRUE(other.granted());

  writer.abort.raise();
  EXPECT_FALSE(writer.granted());
  EXPECT_EQ(writer.error, "User abort");
  // Only readers are left: the queued one shares the name at once.
  ASSERT_TRUE(late_reader.granted());
  EXPECT_TRUE(state_is(name, 0, 2, 0, 0));
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
