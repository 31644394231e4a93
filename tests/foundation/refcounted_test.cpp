#include "foundation/refcounted.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Counts its destructions and can watch a holder while it dies, to see what
// the holder looks like at that moment.
class tracked : public qiv::refcounted_object {
public:
  explicit tracked(int* destroyed, int value = 0) : value(value), destroyed_(destroyed) {}
  tracked(const tracked&) = default;
  ~tracked() override {
    ++*destroyed_;
    if (on_destroy) on_destroy();
  }

  tracked* clone() const { return new tracked(*this); }
  const int* payload() const { return &value; }

  int value;
  void (*on_destroy)() = nullptr;

private:
  int* destroyed_;
};

using pair = qiv::refptr_pair<tracked, const int*>;

TEST(CountedReference, SelfAssignmentKeepsTheObjectAndItsCount) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> ref(new tracked(&destroyed));
  auto& same = ref;
  ref = same;
  ref = ref.get();
  ref = std::move(same);
  EXPECT_EQ(destroyed, 0);
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->ref_count(), 1);
}

TEST(CountedReference, LastReleaseDestroysOnceAndEarlierCopiesKeepItAlive) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> first(new tracked(&destroyed));
  qiv::ref_ptr<tracked> second = first;
  EXPECT_EQ(first->ref_count(), 2);
  first.reset();
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(second->ref_count(), 1);
  second = nullptr;
  EXPECT_EQ(destroyed, 1);
}

// A reference that is reached from the old object's destructor must already
// hold its new value (cascading destruction of trees and lists relies on it).
qiv::ref_ptr<tracked>* watched_ref;
tracked* seen_in_destructor;
void record_watched_ref() { seen_in_destructor = watched_ref->get(); }

TEST(CountedReference, AssignmentStoresTheNewObjectBeforeReleasingTheOld) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> ref(new tracked(&destroyed, 1));
  ref->on_destroy = record_watched_ref;
  watched_ref = &ref;
  tracked* replacement = new tracked(&destroyed, 2);
  ref = replacement;
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(seen_in_destructor, replacement);
}

TEST(CountedReference, ReplaceByCloneLeavesTheOtherHolderAlone) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> mine(new tracked(&destroyed, 7));
  qiv::ref_ptr<tracked> theirs = mine;
  mine.replace_with_clone();
  mine->value = 8;
  EXPECT_NE(mine.get(), theirs.get());
  EXPECT_EQ(mine->ref_count(), 1);
  EXPECT_EQ(theirs->ref_count(), 1);
  EXPECT_EQ(theirs->value, 7);
  EXPECT_EQ(destroyed, 0);
}

TEST(CountedReference, CountsStayExactUnderConcurrentCopies) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> shared(new tracked(&destroyed));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&shared] {
      for (int i = 0; i < 100000; ++i) qiv::ref_ptr<tracked> copy = shared;
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared->ref_count(), 1);
  shared.reset();
  EXPECT_EQ(destroyed, 1);
}

pair* watched_pair;
bool pair_was_empty;
void record_pair_state() { pair_was_empty = !watched_pair->get() && !watched_pair->companion(); }

TEST(CountedPair, AssigningAPairItsOwnObjectIsSafeInBothForms) {
  int destroyed = 0;
  pair holder;
  holder.assign_with_payload(new tracked(&destroyed, 5));
  holder.assign_with_payload(holder.get());
  ASSERT_EQ(destroyed, 0);
  EXPECT_EQ(holder->ref_count(), 1);
  EXPECT_EQ(*holder.companion(), 5);

  holder.assign(holder.get(), holder.companion());
  auto& same = holder;
  holder = same;
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(holder->ref_count(), 1);
}

TEST(CountedPair, IsEmptyWhileItsOldObjectIsReleased) {
  int destroyed = 0;
  pair holder;
  holder.assign_with_payload(new tracked(&destroyed, 1));
  holder->on_destroy = record_pair_state;
  watched_pair = &holder;
  pair_was_empty = false;
  holder.assign_with_payload(new tracked(&destroyed, 2));
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(pair_was_empty);
  EXPECT_EQ(*holder.companion(), 2);

  holder->on_destroy = record_pair_state;
  pair_was_empty = false;
  holder.assign(nullptr, nullptr);
  EXPECT_TRUE(pair_was_empty);
}

TEST(CountedPair, MoveLeavesTheSourceEmptyAndTheCountUnchanged) {
  int destroyed = 0;
  pair source;
  source.assign_with_payload(new tracked(&destroyed, 3));
  pair destination;
  destination.assign_with_payload(new tracked(&destroyed, 4));
  tracked* moved = source.get();

  destination = std::move(source);
  EXPECT_EQ(destroyed, 1);  // the destination's old object
  EXPECT_EQ(destination.get(), moved);
  EXPECT_EQ(*destination.companion(), 3);
  EXPECT_EQ(moved->ref_count(), 1);
  EXPECT_FALSE(source.get());
  EXPECT_FALSE(source.companion());
}

} // namespace
