#include "metadata/main_thread_posting.h"

#include "core/service_factory.h"
#include "core/service_registry.h"

namespace {

class target_callback : public main_thread_callback {
public:
  target_callback(main_thread_target* target, std::uint32_t argument) : target_(target), argument_(argument) {}
  void run() override { target_->on_main_thread(argument_); }

private:
  service_ptr<main_thread_target> target_;
  const std::uint32_t argument_;
};

}  // namespace

void main_thread_target::post_callback_from_worker(std::uint32_t argument) {
  main_thread_posting::post_callback(this, argument);
}

namespace main_thread_posting {

void post_callback(main_thread_target* target, std::uint32_t argument) {
  if (target == nullptr) return;
  service_ptr<main_thread_callback> callback(new service_counted<target_callback>(target, argument));
  service_lookup_unique_t<main_thread_queue>()->add(callback.get());
}

}  // namespace main_thread_posting
