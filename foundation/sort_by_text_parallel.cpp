#include "foundation/sort_by_text_parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/cpu_count.h"
#include "foundation/natural_sort_key.h"
#include "foundation/thread.h"

// The system's natural compare costs microseconds under Wine, and the
// process heap there serialises threads. So each text gets a byte key once,
// the keys are sorted by memcmp, and the system is asked only to confirm
// each neighbouring pair of the result and to repair the few pairs a key got
// wrong; where the keys are known to be its order, not even that. Every worker writes its texts and keys into arenas of its own, so
// no step calls the heap per item.

namespace qiv {

namespace {

// Below this many items, starting threads costs more than the work they
// would share.
constexpr std::uint32_t min_items_for_parallel_work = 256;
// Indices a key worker takes at a time, so the shared counter is not touched
// per item.
constexpr std::uint32_t items_per_claim = 32;

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs task(0) on the calling thread and task(1) .. task(count - 1) on
// threads of their own, and returns when all have finished. The first
// exception a task throws is rethrown then; `stopping()` tells the others to
// give up early.
class parallel_run {
public:
  void run(std::uint32_t count, const std::function<void(std::uint32_t)>& task) {
    {
      std::vector<std::unique_ptr<task_thread>> helpers;  // their destructors join
      try {
        for (std::uint32_t t = 1; t < count; ++t) {
          helpers.push_back(std::make_unique<task_thread>(*this, task, t));
          helpers.back()->start();
        }
      } catch (...) {
        stopping_.store(true);
        throw;
      }
      run_one(task, 0);
    }
    if (first_failure_) std::rethrow_exception(first_failure_);
  }

  bool stopping() const noexcept { return stopping_.load(std::memory_order_relaxed); }

private:
  class task_thread : public thread {
  public:
    task_thread(parallel_run& owner, const std::function<void(std::uint32_t)>& task, std::uint32_t number)
        : owner_(owner), task_(task), number_(number) {}
    ~task_thread() override { wait_till_done(); }

  private:
    void run() override { owner_.run_one(task_, number_); }

    parallel_run& owner_;
    const std::function<void(std::uint32_t)>& task_;
    std::uint32_t number_;
  };

  void run_one(const std::function<void(std::uint32_t)>& task, std::uint32_t number) noexcept {
    try {
      task(number);
    } catch (...) {
      bool already = false;
      if (stopping_.compare_exchange_strong(already, true)) first_failure_ = std::current_exception();
    }
  }

  std::atomic<bool> stopping_{false};
  std::exception_ptr first_failure_;  // written by the first failing task only
};

// The start of part `part` of `parts` equal parts of [0, count).
std::uint32_t part_start(std::uint32_t count, std::uint32_t part, std::uint32_t parts) {
  return static_cast<std::uint32_t>(std::uint64_t{count} * part / parts);
}

struct worker_state {
  text_sort_key_function key_of;
  std::wstring text;                // the key function's output, reused
  std::vector<wchar_t> texts;       // every text this worker computed, each NUL-terminated
  utf16_unit_set units;             // the units of its texts
};

// Where an item's text lies, in the arena of the worker that wrote it.
struct item_place {
  std::uint32_t text_worker, text_offset;
};

struct sort_entry {
  const std::uint8_t* key;
  const wchar_t* text;
  std::uint32_t key_length;
  std::uint32_t index;
};

bool key_less(const sort_entry& a, const sort_entry& b) {
  const std::uint32_t common = std::min(a.key_length, b.key_length);
  const int r = common ? std::memcmp(a.key, b.key, common) : 0;
  if (r != 0) return r < 0;
  if (a.key_length != b.key_length) return a.key_length < b.key_length;
  return a.index < b.index;
}

// The order the result must have: the system's natural compare, then index.
// Total, so any correct sort under it gives the one stable result.
int system_compare(const sort_entry& a, const sort_entry& b) {
  if (a.index == b.index) return 0;
  const int r = StrCmpLogicalW(a.text, b.text);
  if (r != 0) return r;
  return a.index < b.index ? -1 : 1;
}

bool system_less(const sort_entry& a, const sort_entry& b) { return system_compare(a, b) < 0; }

// Sorts one chunk per task, then merges neighbouring runs two by two, each
// round's merges side by side, until one run is left.
template <class Less>
void sort_entries(std::vector<sort_entry>& entries, std::uint32_t task_count, Less less) {
  const auto count = static_cast<std::uint32_t>(entries.size());
  std::vector<std::uint32_t> bounds(task_count + 1);
  for (std::uint32_t c = 0; c <= task_count; ++c) bounds[c] = part_start(count, c, task_count);
  parallel_run().run(task_count, [&](std::uint32_t c) {
    // Stable sorts and merges stay within bounds even if the system's compare
    // were not a consistent order.
    std::stable_sort(entries.begin() + bounds[c], entries.begin() + bounds[c + 1], less);
  });

  std::vector<sort_entry> scratch(task_count > 1 ? count : 0);
  std::vector<sort_entry>* source = &entries;
  std::vector<sort_entry>* target = &scratch;
  while (bounds.size() > 2) {
    const auto runs = static_cast<std::uint32_t>(bounds.size() - 1);
    parallel_run().run(runs / 2, [&](std::uint32_t m) {
      const auto first = source->begin();
      std::merge(first + bounds[2 * m], first + bounds[2 * m + 1], first + bounds[2 * m + 1],
                 first + bounds[2 * m + 2], target->begin() + bounds[2 * m], less);
    });
    // A run without a partner this round still has to reach the buffer the
    // next round reads.
    if (runs % 2 != 0)
      std::copy(source->begin() + bounds[runs - 1], source->end(), target->begin() + bounds[runs - 1]);
    std::vector<std::uint32_t> merged_bounds;
    for (std::uint32_t r = 0; r < bounds.size(); r += 2) merged_bounds.push_back(bounds[r]);
    if (runs % 2 != 0) merged_bounds.push_back(count);
    bounds.swap(merged_bounds);
    std::swap(source, target);
  }
  if (source != &entries) entries.swap(*source);
}

// An insertion sort under the system's order that starts from the key order
// and already knows which neighbouring pairs the system confirmed: a
// confirmed pair needs no compare while the item's left neighbour is still
// the largest item so far. So it costs a few compares per pair the keys got
// wrong. Gives up (false) once it has moved more than `move_budget` entries,
// leaving a permutation of the entries.
bool repair_by_insertion(std::vector<sort_entry>& entries, const std::vector<std::uint32_t>& out_of_order,
                         std::uint64_t move_budget) {
  std::size_t next_out_of_order = 0;
  bool left_is_largest = true;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    bool confirmed = true;
    if (next_out_of_order < out_of_order.size() && out_of_order[next_out_of_order] == i - 1) {
      confirmed = false;
      ++next_out_of_order;
    }
    if (left_is_largest && confirmed) continue;
    const sort_entry item = entries[i];
    if (system_less(entries[i - 1], item)) {
      left_is_largest = true;
      continue;
    }
    const auto place = std::upper_bound(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(i - 1), item,
                                        system_less);
    const auto moved = static_cast<std::uint64_t>(entries.begin() + static_cast<std::ptrdiff_t>(i) - place);
    if (moved > move_budget) return false;
    move_budget -= moved;
    std::move_backward(place, entries.begin() + static_cast<std::ptrdiff_t>(i),
                       entries.begin() + static_cast<std::ptrdiff_t>(i + 1));
    *place = item;
    left_is_largest = false;  // the largest is the former left neighbour, now at i
  }
  return true;
}

// Orders the texts (given with the units they hold) by keys and the system's
// confirmation; the steps after the texts are known, whoever made them.
void order_texts(std::span<std::uint32_t> order, std::span<const wchar_t* const> texts, natural_order_kind kind,
                 const utf16_unit_set& units, std::uint32_t worker_count, double start, text_sort_timing* timing) {
  const auto count = static_cast<std::uint32_t>(order.size());
  struct key_arena {
    std::vector<std::uint8_t> keys;
    std::vector<std::uint32_t> out_of_order;  // pairs the system orders the other way
  };
  std::vector<key_arena> states(worker_count);
  for (auto& state : states) state.keys.reserve(count / worker_count * 96 + 64);
  struct key_place {
    std::uint32_t worker, offset, length;
  };
  std::vector<key_place> places(count);
  const auto text_of = [&](std::uint32_t i) { return texts[i]; };
  const natural_sort_key_maker key_maker(kind, units);

  // The keys, each worker an equal share.
  parallel_run().run(worker_count, [&](std::uint32_t w) {
    key_arena& state = states[w];
    for (std::uint32_t i = part_start(count, w, worker_count); i < part_start(count, w + 1, worker_count); ++i) {
      const auto offset = state.keys.size();
      key_maker.append_key(text_of(i), state.keys);
      places[i] = {w, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(state.keys.size() - offset)};
    }
  });

  const double keys_done = now_seconds();
  std::vector<sort_entry> entries(count);
  for (std::uint32_t i = 0; i < count; ++i)
    entries[i] = {states[places[i].worker].keys.data() + places[i].offset, text_of(i), places[i].length, i};
  sort_entries(entries, worker_count, key_less);

  // The system confirms each neighbouring pair, unless the keys are its own
  // order; identical texts need no asking, their keys being identical too.
  if (!keys_equal_system_order(kind, units)) parallel_run().run(worker_count, [&](std::uint32_t w) {
    const std::uint32_t pairs = count - 1;
    for (std::uint32_t k = part_start(pairs, w, worker_count); k < part_start(pairs, w + 1, worker_count); ++k) {
      if (std::wcscmp(entries[k].text, entries[k + 1].text) != 0 && system_compare(entries[k], entries[k + 1]) > 0)
        states[w].out_of_order.push_back(k);
    }
  });
  std::vector<std::uint32_t> out_of_order;
  for (const auto& state : states) out_of_order.insert(out_of_order.end(), state.out_of_order.begin(), state.out_of_order.end());

  // Keys that disagree with the system on many texts make the insertion
  // quadratic; a full sort under the system's order is then faster.
  if (!out_of_order.empty()) {
    const bool few = out_of_order.size() <= count / 16 + 8;
    if (!few || !repair_by_insertion(entries, out_of_order, std::uint64_t{count} * 8))
      sort_entries(entries, worker_count, system_less);
  }
  for (std::uint32_t k = 0; k < count; ++k) order[k] = entries[k].index;
  if (timing) *timing = {keys_done - start, now_seconds() - keys_done};
}

} // namespace

void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function_maker& make_key_function,
                           text_sort_timing* timing) {
  const std::uint32_t workers = order.size() >= min_items_for_parallel_work ? cpu_count() : 1;
  sort_by_text_with_workers(order, make_key_function, workers, timing);
}

void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function& key_of) {
  sort_by_text_parallel(order, [&] { return key_of; });
}

void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function& key_of,
                               std::uint32_t worker_count) {
  sort_by_text_with_workers(order, [&] { return key_of; }, worker_count);
}

void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function_maker& make_key_function,
                               std::uint32_t worker_count, text_sort_timing* timing,
                               std::optional<natural_order_kind> keys_like) {
  const double start = now_seconds();
  const auto count = static_cast<std::uint32_t>(order.size());
  if (count == 0) return;
  worker_count = std::clamp<std::uint32_t>(worker_count, 1, count);
  const natural_order_kind kind = keys_like ? *keys_like : detect_natural_order_kind();

  std::vector<worker_state> states(worker_count);
  for (auto& state : states) {
    state.key_of = make_key_function();
    // A guess at the arenas' size, so that most never grow.
    state.texts.reserve(count / worker_count * 48 + 64);
  }
  std::vector<item_place> places(count);

  // The texts, each index taken by whichever worker is free.
  std::atomic<std::uint32_t> next_index{0};
  parallel_run texts_step;
  texts_step.run(worker_count, [&](std::uint32_t w) {
    worker_state& state = states[w];
    while (!texts_step.stopping()) {
      const std::uint32_t first = next_index.fetch_add(items_per_claim);
      if (first >= count) return;
      for (std::uint32_t i = first; i < std::min(count, first + items_per_claim); ++i) {
        state.text.clear();
        state.key_of(i, state.text);
        std::wstring_view text(state.text.c_str());  // the system reads up to the first NUL
        places[i].text_worker = w;
        places[i].text_offset = static_cast<std::uint32_t>(state.texts.size());
        state.texts.insert(state.texts.end(), text.begin(), text.end());
        state.texts.push_back(L'\0');
        if (kind == natural_order_kind::per_character) state.units.add(text);
      }
    }
  });

  utf16_unit_set units;
  if (kind == natural_order_kind::per_character)
    for (const auto& state : states) units.add(state.units);
  std::vector<const wchar_t*> texts(count);
  for (std::uint32_t i = 0; i < count; ++i) texts[i] = states[places[i].text_worker].texts.data() + places[i].text_offset;
  order_texts(order, texts, kind, units, worker_count, start, timing);
}

void sort_by_text_with_workers(std::span<std::uint32_t> order, std::span<const wchar_t* const> texts,
                               std::uint32_t worker_count) {
  const double start = now_seconds();
  const auto count = static_cast<std::uint32_t>(order.size());
  if (count == 0) return;
  const natural_order_kind kind = detect_natural_order_kind();
  utf16_unit_set units;
  if (kind == natural_order_kind::per_character)
    for (const wchar_t* text : texts) units.add(text);
  order_texts(order, texts, kind, units, std::clamp<std::uint32_t>(worker_count, 1, count), start, nullptr);
}


} // namespace qiv
