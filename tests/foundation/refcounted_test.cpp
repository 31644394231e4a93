// Counted objects, their references, and reference pairs with a companion pointer.
#include "foundation/refcounted.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/refcounted_string.h"

namespace {

// Counts its destructions and can run a check while it dies, to see what a
// holder looks like at that moment.
class tracked : public qiv::refcounted_object {
public:
  explicit tracked(int* destroyed, int value = 0) : value(value), destroyed_(destroyed) {}
  ~tracked() override {
    ++*destroyed_;
    if (on_destroy) on_destroy();
  }
  const int* payload() const { return &value; }

  int value;
  void (*on_destroy)() = nullptr;

private:
  int* destroyed_;
};

using pair = qiv::refptr_pair<tracked, const int*>;

// What a holder looked like while its old object was being destroyed.
qiv::ref_ptr<tracked>* watched_ref;
tracked* seen_in_destructor;
pair* watched_pair;
bool pair_was_empty;

TEST(CountedReference, SelfAssignmentKeepsTheObjectAndAMovedPairLeavesItsSourceEmpty) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> ref(new tracked(&destroyed));
  auto& same = ref;
  ref = same;
  ref = ref.get();
  ref = std::move(same);
  pair holder;
  holder.assign_with_payload(new tracked(&destroyed, 5));
  holder.assign_with_payload(holder.get());
  holder.assign(holder.get(), holder.companion());
  auto& same_pair = holder;
  holder = same_pair;
  EXPECT_EQ(destroyed, 0);
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->ref_count(), 1);
  EXPECT_EQ(holder->ref_count(), 1);
  EXPECT_EQ(*holder.companion(), 5);

  int released = 0;
  pair source, destination;
  source.assign_with_payload(new tracked(&released, 3));
  destination.assign_with_payload(new tracked(&released, 4));
  tracked* moved = source.get();
  destination = std::move(source);
  EXPECT_EQ(released, 1);  // the destination's old object
  EXPECT_EQ(destination.get(), moved);
  EXPECT_EQ(*destination.companion(), 3);
  EXPECT_EQ(moved->ref_count(), 1);
  EXPECT_FALSE(source.get());
  EXPECT_FALSE(source.companion());
}

TEST(CountedReference, LastReleaseDestroysOnceAfterTheHolderTookItsNewValue) {
  int destroyed = 0;
  qiv::ref_ptr<tracked> ref(new tracked(&destroyed, 1));
  qiv::ref_ptr<tracked> second = ref;
  ref.reset();
  EXPECT_EQ(destroyed, 0);  // the earlier copy keeps it alive
  ref = second;
  second = nullptr;
  // Cascading destruction of trees and lists relies on a holder that already
  // holds its new value when the old object's destructor runs.
  ref->on_destroy = [] { seen_in_destructor = watched_ref->get(); };
  watched_ref = &ref;
  tracked* replacement = new tracked(&destroyed, 2);
  ref = replacement;
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(seen_in_destructor, replacement);

  pair holder;
  holder.assign_with_payload(new tracked(&destroyed, 1));
  watched_pair = &holder;
  for (tracked* next : {new tracked(&destroyed, 2), static_cast<tracked*>(nullptr)}) {
    holder->on_destroy = [] { pair_was_empty = !watched_pair->get() && !watched_pair->companion(); };
    pair_was_empty = false;
    if (next) holder.assign_with_payload(next); else holder.assign(nullptr, nullptr);
    EXPECT_TRUE(pair_was_empty);
  }
  EXPECT_EQ(destroyed, 3);
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

TEST(CountedString, TextIsTheCompanionAndMayComeFromTheStringItReplaces) {
  qiv::refcounted_string_ref holder;
  EXPECT_STREQ(qiv::text_of(holder), "");
  qiv::refcounted_string::from_text(holder, "Album Artist", 5);
  EXPECT_STREQ(holder.companion(), "Album");
  EXPECT_EQ(holder.companion(), holder->payload());
  qiv::refcounted_string::create(holder, "Genre: Jazz");
  qiv::refcounted_string::create(holder, qiv::text_of(holder) + 7);  // lives in the object being released
  EXPECT_STREQ(qiv::text_of(holder), "Jazz");
}

} // namespace
