#include "metadata/main_thread_posting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "tests/support/single_factory.h"

namespace {

// Stands for the process's queue: keeps what is posted until the test runs it.
class holding_queue : public main_thread_queue {
public:
  std::vector<service_ptr<main_thread_callback>> held;
  void add(main_thread_callback* callback) override { held.emplace_back(callback); }
  void run_all() {
    for (auto& callback : held) callback->run();
    held.clear();
  }
};

class recording_target final : public main_thread_target {
public:
  std::vector<std::uint32_t>* received = nullptr;
  bool* destroyed = nullptr;
  std::int32_t release() noexcept override {
    const std::int32_t count = --count_;
    if (count == 0) {
      *destroyed = true;
      delete this;
    }
    return count;
  }
  std::int32_t add_ref() noexcept override { return ++count_; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }
  void on_main_thread(std::uint32_t argument) override { received->push_back(argument); }

private:
  std::atomic<std::int32_t> count_{0};
};

// A worker may drop its last reference right after posting: the target must
// live until its call ran, and calls run in posting order on the queue's turn.
TEST(MainThreadPosting, TargetOutlivesItsLastOutsideReferenceAndCallsRunInOrder) {
  service_factory* list = nullptr;
  single_factory<holding_queue> factory{&list};
  service_registry::table().build(list);
  std::vector<std::uint32_t> received;
  bool destroyed = false;
  main_thread_posting::post_callback(nullptr, 7);  // no target: nothing posted
  EXPECT_TRUE(factory.instance.held.empty());
  {
    service_ptr<recording_target> target(new recording_target());
    target->received = &received;
    target->destroyed = &destroyed;
    main_thread_posting::post_callback(target.get(), 1);
    target->post_callback_from_worker(2);
  }
  EXPECT_TRUE(received.empty());
  EXPECT_FALSE(destroyed);
  factory.instance.run_all();
  EXPECT_EQ(received, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_TRUE(destroyed);
  service_registry::table().clear();
}

}  // namespace
