#include "library/nav_node_builder.h"

#include <exception>
#include <utility>

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "foundation/thread.h"
#include "foundation/win32_handles.h"

// A build, or (with no step) a node to be freed.
struct nav_node_builder::job {
  std::uint64_t number = 0;
  build_step build;
  built_nav_node view;
  std::exception_ptr failure;
};

class nav_node_builder::worker final : public qiv::thread {
public:
  worker(const std::atomic<std::uint64_t>& wanted, std::shared_ptr<channel> channel)
      : wanted_(wanted), channel_(std::move(channel)) {
    wake_.create();
  }
  ~worker() override { stop(); }

  // The next build; one given before and not begun is dropped.
  void give(std::unique_ptr<job> next) {
    critical_section_lock hold(lock_);
    if (next_) litter_.push_back(std::move(next_));
    next_ = std::move(next);
    SetEvent(wake_.get());
  }

  void discard(std::unique_ptr<job> done) {
    critical_section_lock hold(lock_);
    litter_.push_back(std::move(done));
    SetEvent(wake_.get());
  }

  // Frees what it holds, then ends; a build not begun is dropped.
  void stop() noexcept {
    {
      critical_section_lock hold(lock_);
      stopping_ = true;
      if (next_) litter_.push_back(std::move(next_));
      SetEvent(wake_.get());
    }
    wait_till_done();
  }

private:
  void run() override {
    for (;;) {
      std::unique_ptr<job> next;
      std::vector<std::unique_ptr<job>> litter;
      {
        critical_section_lock hold(lock_);
        next = std::move(next_);
        litter.swap(litter_);
        if (!next && litter.empty()) {
          if (stopping_) return;
          ResetEvent(wake_.get());
        }
      }
      const bool had_work = next || !litter.empty();
      // A build is waited for; freeing is not.
      if (next) build(std::move(next));
      litter.clear();
      if (!had_work) WaitForSingleObject(wake_.get(), INFINITE);
    }
  }

  void build(std::unique_ptr<job> next) {
    if (wanted_.load() != next->number) return;  // overtaken before it began
    try {
      built_nav_node& view = next->view;
      next->build(*view.node);
      view.entries = view.node->entries();
      if (view.playing && view.node->lists_tracks())
        view.playing_entry = view.node->entry_of_track(view.entries, view.playing.get());
    } catch (...) {
      next->failure = std::current_exception();
    }
    next->build = nullptr;
    if (wanted_.load() != next->number) return;
    // The call is copied by the queue; the job goes with the first call.
    auto done = std::make_shared<std::unique_ptr<job>>(std::move(next));
    std::shared_ptr<channel> to = channel_;
    main_thread_queue::post(new service_counted<main_thread_call>([to, done] {
      if (to->owner != nullptr && *done) to->owner->arrive(std::move(*done));
    }));
  }

  const std::atomic<std::uint64_t>& wanted_;
  std::shared_ptr<channel> channel_;
  critical_section lock_;
  win32_event wake_;  // manual reset, reset under the lock when idle
  std::unique_ptr<job> next_;
  std::vector<std::unique_ptr<job>> litter_;
  bool stopping_ = false;
};

nav_node_builder::nav_node_builder(landing land, failing fail)
    : land_(std::move(land)), fail_(std::move(fail)), channel_(std::make_shared<channel>(channel{this})) {}

nav_node_builder::~nav_node_builder() {
  shut_down();
  channel_->owner = nullptr;
}

nav_node_builder::worker& nav_node_builder::running_worker() {
  if (!worker_) {
    auto started = std::make_unique<worker>(wanted_, channel_);
    started->start();
    worker_ = std::move(started);
  }
  return *worker_;
}

void nav_node_builder::start(std::unique_ptr<nav_node> node, build_step build, track_handle_ptr playing) {
  auto next = std::make_unique<job>();
  next->number = ++last_number_;
  next->build = std::move(build);
  next->view.node = std::move(node);
  next->view.playing = std::move(playing);
  worker& builder = running_worker();
  wanted_.store(next->number);
  builder.give(std::move(next));
}

void nav_node_builder::cancel() noexcept { wanted_.store(0); }

void nav_node_builder::dispose(std::unique_ptr<nav_node> node) {
  auto done = std::make_unique<job>();
  done->view.node = std::move(node);
  running_worker().discard(std::move(done));
}

void nav_node_builder::dispose(wide_text_list texts) {
  auto done = std::make_unique<job>();
  done->view.entries = std::move(texts);
  running_worker().discard(std::move(done));
}

void nav_node_builder::shut_down() noexcept {
  cancel();
  worker_.reset();
}

void nav_node_builder::arrive(std::unique_ptr<job> done) {
  if (done->number != wanted_.load()) {
    running_worker().discard(std::move(done));
    return;
  }
  wanted_.store(0);
  if (done->failure) {
    const std::exception_ptr failure = done->failure;
    running_worker().discard(std::move(done));
    fail_();
    std::rethrow_exception(failure);
  }
  land_(std::move(done->view));
  running_worker().discard(std::move(done));
}
