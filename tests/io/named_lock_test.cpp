#include "io/named_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "core/io_exception_base.h"
#include "core/service_registry.h"

namespace {

// Polls a condition that another thread makes true; the bound only keeps a
// broken lock from hanging the suite.
bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 10000; ++i) {
    if (condition()) return true;
    Sleep(1);
  }
  return condition();
}

std::atomic<int> grant_sequence{0};

// A thread that asks for a lock, keeps it until told to let go, and records
// in which order it was granted (or why it failed).
class lock_taker {
public:
  lock_taker(const char* name, bool exclusive) : name_(name), exclusive_(exclusive) {
    granted_.create();
    let_go_.create();
    worker_ = std::thread([this] { run(); });
  }
  ~lock_taker() {
    abort.raise();
    SetEvent(let_go_.get());
    worker_.join();
  }

  bool granted() { return win32_event::wait(granted_.get(), 10.0); }
  bool is_granted() { return win32_event::wait(granted_.get(), 0.0); }
  void let_go_and_finish() {
    SetEvent(let_go_.get());
    worker_.join();
    worker_ = std::thread([] {});
  }
  void finish() {
    worker_.join();
    worker_ = std::thread([] {});
  }
  bool lock_has_waiters() {
    has_waiters_query_ = true;
    return eventually([this] { return !has_waiters_query_; }) && has_waiters_answer_;
  }

  raisable_abort_signal abort;
  int grant_order = 0;
  std::string error;

private:
  void run() {
    try {
      service_ptr<named_lock> lock;
      if (exclusive_)
        named_lock::acquire_exclusive(lock, name_.c_str(), abort);
      else
        named_lock::acquire(lock, name_.c_str(), abort);
      grant_order = ++grant_sequence;
      SetEvent(granted_.get());
      // Answers has_waiters questions from the test thread until let go, so
      // the question is asked of the lock this thread holds.
      while (!win32_event::wait(let_go_.get(), 0.001)) {
        if (has_waiters_query_) {
          has_waiters_answer_ = lock->has_waiters();
          has_waiters_query_ = false;
        }
      }
    } catch (const std::exception& e) {
      error = e.what();
    }
  }

  std::string name_;
  bool exclusive_;
  win32_event granted_;
  win32_event let_go_;
  std::atomic<bool> has_waiters_query_{false};
  std::atomic<bool> has_waiters_answer_{false};
  std::thread worker_;
};

bool state_is(const char* name, std::uint32_t exclusive_holders, std::uint32_t shared_holders,
              std::uint32_t exclusive_waiting, std::uint32_t shared_waiting) {
  const named_lock_state state = named_lock_query_state(name);
  return state.exclusive_holders == exclusive_holders && state.shared_holders == shared_holders &&
         state.exclusive_waiting == exclusive_waiting && state.shared_waiting == shared_waiting;
}

class NamedLock : public ::testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(named_lock_tracked_name_count(), 0u) << "a name outlived its locks"; }
  raisable_abort_signal abort;
};

TEST_F(NamedLock, ReadersShareANameAndTheLastReleaseForgetsIt) {
  service_ptr<named_lock> first, second;
  named_lock::acquire(first, "C:\\Music\\a.flac", abort);
  named_lock::acquire(second, "C:\\Music\\a.flac", abort);
  EXPECT_TRUE(state_is("C:\\Music\\a.flac", 0, 2, 0, 0));
  EXPECT_FALSE(first->has_waiters());
  first.reset();
  EXPECT_TRUE(state_is("C:\\Music\\a.flac", 0, 1, 0, 0));
  second.reset();
  EXPECT_EQ(named_lock_tracked_name_count(), 0u);
}

TEST_F(NamedLock, WaitingWriterHoldsBackNewReadersUntilItIsDone) {
  const char* name = "C:\\Music\\b.mp3";
  service_ptr<named_lock> reader;
  named_lock::acquire(reader, name, abort);

  lock_taker writer(name, true);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 0); }));
  EXPECT_TRUE(reader->has_waiters());

  // Another reader arrives while the writer waits: it queues behind it
  // although only readers hold the name.
  lock_taker late_reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 0, 1, 1, 1); }));
  EXPECT_FALSE(writer.is_granted());
  EXPECT_FALSE(late_reader.is_granted());

  reader.reset();
  ASSERT_TRUE(writer.granted());
  EXPECT_TRUE(state_is(name, 1, 0, 0, 1));
  EXPECT_FALSE(late_reader.is_granted());
  EXPECT_TRUE(writer.lock_has_waiters());

  writer.let_go_and_finish();
  ASSERT_TRUE(late_reader.granted());
  EXPECT_TRUE(state_is(name, 0, 1, 0, 0));
  EXPECT_FALSE(late_reader.lock_has_waiters());
  late_reader.let_go_and_finish();
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
  EXPECT_FALSE(second.is_granted());
  first.let_go_and_finish();
  ASSERT_TRUE(second.granted());
  second.let_go_and_finish();
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
  upper.let_go_and_finish();
  other.let_go_and_finish();
}

TEST_F(NamedLock, AbortEndsAWaitAndLeavesTheHoldersAsTheyWere) {
  const char* name = "C:\\Music\\g.opus";
  service_ptr<named_lock> writer;
  named_lock::acquire_exclusive(writer, name, abort);
  lock_taker reader(name, false);
  ASSERT_TRUE(eventually([&] { return state_is(name, 1, 0, 0, 1); }));

  reader.abort.raise();
  reader.finish();
  EXPECT_EQ(reader.error, "User abort");
  EXPECT_TRUE(state_is(name, 1, 0, 0, 0));
  EXPECT_FALSE(writer->has_waiters());
  writer.reset();
}

TEST_F(NamedLock, AbortedWriterNoLongerHoldsBackTheReadersQueuedBehindIt) {
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
  late_reader.let_go_and_finish();
  reader.reset();
}

TEST_F(NamedLock, RegistryServiceTakesModeOneAsExclusive) {
  service_ptr<named_lock> lock;
  named_lock::acquire(lock, "C:\\Music\\j.wav", abort);
  // The registry's other modes are all shared.
  service_ptr<named_lock_registry> registry;
  {
    service_registry_table table;
    table.build(service_factory::global_list_head);
    registry = service_ptr<named_lock_registry>(
        static_cast<named_lock_registry*>(service_lookup_unique(table, named_lock_registry::class_guid).get()));
  }
  service_ptr<named_lock> shared;
  registry->acquire(shared, "C:\\Music\\j.wav", 7, abort);
  EXPECT_TRUE(state_is("C:\\Music\\j.wav", 0, 2, 0, 0));
  lock.reset();
  shared.reset();
  registry->acquire(lock, "C:\\Music\\j.wav", 1, abort);
  EXPECT_TRUE(state_is("C:\\Music\\j.wav", 1, 0, 0, 0));
}

} // namespace
