#include "foundation/sort_by_text_parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/cpu_count.h"
#include "foundation/sort.h"
#include "foundation/thread.h"

namespace qiv {

namespace {

// Below this many items, starting threads costs more than the key
// computations and comparisons they would share.
constexpr std::uint32_t min_items_for_parallel_work = 256;

struct text_key_pair {
  std::wstring key;
  std::uint32_t index;
};

// What the workers share: the next index to take and the pairs, each pair
// written by the one worker that took its index.
class key_computation {
public:
  key_computation(std::vector<text_key_pair>& pairs, const text_sort_key_function& key_of)
      : pairs_(pairs), key_of_(key_of) {}

  void run_worker() noexcept {
    const auto count = static_cast<std::uint32_t>(pairs_.size());
    while (!failed_.load(std::memory_order_relaxed)) {
      const std::uint32_t i = next_index_.fetch_add(1);
      if (i >= count) return;
      try {
        key_of_(i, pairs_[i].key);
      } catch (...) {
        record_failure(std::current_exception());
      }
    }
  }

  // Keys left uncomputed are not worth computing once the caller will get an
  // exception instead of an order.
  void stop() noexcept { failed_.store(true); }

  // Read only after every worker has been joined.
  const std::exception_ptr& first_failure() const { return first_failure_; }

private:
  void record_failure(std::exception_ptr failure) noexcept {
    bool already_failed = false;
    if (failed_.compare_exchange_strong(already_failed, true)) first_failure_ = std::move(failure);
  }

  std::vector<text_key_pair>& pairs_;
  const text_sort_key_function& key_of_;
  std::atomic<std::uint32_t> next_index_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr first_failure_;
};

class key_worker : public thread {
public:
  explicit key_worker(key_computation& work) : work_(work) {}
  ~key_worker() override { wait_till_done(); }

private:
  void run() override { work_.run_worker(); }

  key_computation& work_;
};

// The order of the result: natural text order of the keys, then index. With
// the index it is total, so however the pairs are split, sorted and merged,
// there is only one possible result.
int compare_pairs(const text_key_pair& a, const text_key_pair& b) {
  const int r = StrCmpLogicalW(a.key.c_str(), b.key.c_str());
  if (r != 0) return r;
  return a.index < b.index ? -1 : (a.index > b.index ? 1 : 0);
}

// Sorts the pairs in one contiguous chunk per worker, each on its own thread,
// then merges neighbouring runs two by two, each round's merges on threads of
// their own, until one run is left. The comparison dominates the time (the
// system's natural compare is slow), so this is what the threads share.
class parallel_pair_sort {
public:
  parallel_pair_sort(std::vector<text_key_pair>& pairs, std::uint32_t chunk_count)
      : source_(&pairs), chunk_count_(chunk_count) {}

  // Returns the sorted pairs: the caller's vector or the scratch buffer,
  // whichever the last merge round wrote; valid while this object lives.
  const std::vector<text_key_pair>& run() {
    const auto count = static_cast<std::uint32_t>(source_->size());
    std::vector<std::uint32_t> bounds(chunk_count_ + 1);
    for (std::uint32_t c = 0; c <= chunk_count_; ++c)
      bounds[c] = static_cast<std::uint32_t>(std::uint64_t{count} * c / chunk_count_);

    run_tasks(chunk_count_, [&](std::uint32_t c) { sort_chunk(bounds[c], bounds[c + 1]); });
    if (chunk_count_ == 1) return *source_;

    // Merges cannot work in place; the scratch's empty keys take no memory
    // of their own until the keys are moved in.
    scratch_.resize(count);
    std::vector<text_key_pair>* target = &scratch_;
    while (bounds.size() > 2) {
      const auto runs = static_cast<std::uint32_t>(bounds.size() - 1);
      run_tasks(runs / 2, [&](std::uint32_t m) {
        merge(*target, bounds[2 * m], bounds[2 * m + 1], bounds[2 * m + 2]);
      });
      // A run without a partner this round still has to reach the buffer the
      // next round reads.
      if (runs % 2 != 0)
        std::move(source_->begin() + bounds[runs - 1], source_->end(), target->begin() + bounds[runs - 1]);

      std::vector<std::uint32_t> merged_bounds;
      for (std::uint32_t r = 0; r < bounds.size(); r += 2) merged_bounds.push_back(bounds[r]);
      if (runs % 2 != 0) merged_bounds.push_back(count);
      bounds.swap(merged_bounds);
      std::swap(source_, target);
    }
    return *source_;
  }

private:
  class chunk_order : public sort_callback {
  public:
    chunk_order(text_key_pair* first, const std::atomic<bool>& stopped) : first_(first), stopped_(stopped) {}

    int compare(std::uint32_t i, std::uint32_t j) override {
      if (stopped_.load(std::memory_order_relaxed)) return 0;
      return compare_pairs(first_[i], first_[j]);
    }

    void swap(std::uint32_t i, std::uint32_t j) override { std::swap(first_[i], first_[j]); }

  private:
    text_key_pair* first_;
    const std::atomic<bool>& stopped_;
  };

  class task_worker : public thread {
  public:
    task_worker(const std::function<void(std::uint32_t)>& task, std::uint32_t number) : task_(task), number_(number) {}
    ~task_worker() override { wait_till_done(); }

  private:
    void run() override { task_(number_); }

    const std::function<void(std::uint32_t)>& task_;
    std::uint32_t number_;
  };

  void sort_chunk(std::uint32_t first, std::uint32_t last) {
    chunk_order by_key(source_->data() + first, stopped_);
    sort_randomized(by_key, last - first);
  }

  // Merges the sorted runs [first, middle) and [middle, last) of the source
  // into the same positions of `target`.
  void merge(std::vector<text_key_pair>& target, std::uint32_t first, std::uint32_t middle, std::uint32_t last) {
    std::vector<text_key_pair>& source = *source_;
    std::uint32_t left = first;
    std::uint32_t right = middle;
    std::uint32_t out = first;
    while (left < middle && right < last) {
      const bool right_first = !stopped_.load(std::memory_order_relaxed) && compare_pairs(source[right], source[left]) < 0;
      target[out++] = std::move(source[right_first ? right++ : left++]);
    }
    while (left < middle) target[out++] = std::move(source[left++]);
    while (right < last) target[out++] = std::move(source[right++]);
  }

  // Runs task 0 on the calling thread and every other on a thread of its own;
  // returns when all have finished. When a thread cannot be started, the
  // ones already running are stopped and joined before the failure leaves.
  void run_tasks(std::uint32_t task_count, const std::function<void(std::uint32_t)>& task) {
    if (task_count == 0) return;
    std::vector<std::unique_ptr<task_worker>> helpers;
    try {
      for (std::uint32_t t = 1; t < task_count; ++t) {
        helpers.push_back(std::make_unique<task_worker>(task, t));
        helpers.back()->start();
      }
    } catch (...) {
      // Comparing keys is wasted time once the caller gets an exception
      // instead of an order; with every pair equal, a running sort or merge
      // ends in a moment, and the helpers' destructors join them.
      stopped_.store(true);
      throw;
    }
    task(0);
    for (auto& helper : helpers) helper->wait_till_done();
  }

  std::vector<text_key_pair>* source_;  // holds the runs the next round merges
  std::vector<text_key_pair> scratch_;
  std::uint32_t chunk_count_;
  std::atomic<bool> stopped_{false};
};

} // namespace

void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function& key_of) {
  const std::uint32_t workers = order.size() >= min_items_for_parallel_work ? cpu_count() : 1;
  sort_by_text_with_workers(order, key_of, workers);
}

void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function& key_of,
                               std::uint32_t worker_count) {
  const auto count = static_cast<std::uint32_t>(order.size());

  // Every pair holds its own index and an empty key before any worker runs,
  // so no pair is ever read unwritten, whatever a worker does.
  std::vector<text_key_pair> pairs(count);
  for (std::uint32_t i = 0; i < count; ++i) pairs[i].index = i;

  key_computation work(pairs, key_of);
  {
    // Declared after `work`: the workers are joined before it goes away,
    // also when starting one of them fails.
    std::vector<std::unique_ptr<key_worker>> helpers;
    try {
      for (std::uint32_t w = 1; w < worker_count; ++w) {
        helpers.push_back(std::make_unique<key_worker>(work));
        helpers.back()->start();
      }
    } catch (...) {
      work.stop();
      throw;
    }
    work.run_worker();
    for (auto& helper : helpers) helper->wait_till_done();
  }
  if (work.first_failure()) std::rethrow_exception(work.first_failure());

  const std::uint32_t chunk_count = count >= min_items_for_parallel_work && worker_count > 1 ? worker_count : 1;
  parallel_pair_sort sort_step(pairs, chunk_count);
  const std::vector<text_key_pair>& sorted = sort_step.run();
  for (std::uint32_t k = 0; k < count; ++k) order[k] = sorted[k].index;
}

} // namespace qiv
