#include "foundation/sort_by_text_parallel.h"

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

constexpr std::uint32_t min_items_for_parallel_keys = 256;

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

class natural_text_order : public sort_callback {
public:
  explicit natural_text_order(std::vector<text_key_pair>& pairs) : pairs_(pairs) {}

  int compare(std::uint32_t i, std::uint32_t j) override {
    const int r = StrCmpLogicalW(pairs_[i].key.c_str(), pairs_[j].key.c_str());
    if (r != 0) return r;
    return pairs_[i].index < pairs_[j].index ? -1 : (pairs_[i].index > pairs_[j].index ? 1 : 0);
  }

  void swap(std::uint32_t i, std::uint32_t j) override { std::swap(pairs_[i], pairs_[j]); }

private:
  std::vector<text_key_pair>& pairs_;
};

} // namespace

void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function& key_of) {
  const std::uint32_t workers = order.size() >= min_items_for_parallel_keys ? cpu_count() : 1;
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

  natural_text_order by_key(pairs);
  sort_randomized(by_key, count);
  for (std::uint32_t k = 0; k < count; ++k) order[k] = pairs[k].index;
}

} // namespace qiv
