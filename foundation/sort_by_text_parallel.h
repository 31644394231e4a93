// Orders a list of items by a text key computed per item, in the system's
// natural order (StrCmpLogicalW), spreading the work over all processors.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <optional>
#include <string>

#include "foundation/natural_sort_key.h"

namespace qiv {

// Computes the text of item `index` into `key` (which arrives empty), as
// UTF-16. Each index is asked exactly once.
using text_sort_key_function = std::function<void(std::uint32_t index, std::wstring& key)>;
// Makes the key function of one worker, so that each may keep buffers of its
// own from item to item. Called on the calling thread, once per worker.
using text_sort_key_function_maker = std::function<text_sort_key_function()>;

// How long the two steps of one sort took: computing the texts and their
// sort keys, and ordering them. For benchmarks.
struct text_sort_timing {
  double key_seconds = 0;
  double order_seconds = 0;
};

// Fills `order` (one slot per item) with the item indices in the order a
// stable sort by StrCmpLogicalW of their keys gives (digit runs by value,
// case ignored, equal keys by index). From 256 items the work is spread over
// every processor the process may use, below that it runs on the calling
// thread; the order is the same either way.
// When a key computation throws, the first such exception is rethrown once
// every worker has stopped, and `order` is left unspecified. Thread creation
// failure throws qiv::thread::exception_creation.
void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function_maker& make_key_function,
                           text_sort_timing* timing = nullptr);
// The same with one key function that every worker calls at once: it must
// not change shared state without its own lock.
void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function& key_of);

// The same with a given number of workers (at least 1 is used) at any size,
// for measuring and testing the parallel path on any machine. `keys_like`
// makes the sort keys model that kind of natural order instead of the
// system's, to show that the result does not depend on the keys.
void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function_maker& make_key_function,
                               std::uint32_t worker_count, text_sort_timing* timing = nullptr,
                               std::optional<natural_order_kind> keys_like = std::nullopt);
void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function& key_of,
                               std::uint32_t worker_count);
// The same over texts already made, one NUL-terminated text per item, read
// in place: no text is copied.
void sort_by_text_with_workers(std::span<std::uint32_t> order, std::span<const wchar_t* const> texts,
                               std::uint32_t worker_count);

} // namespace qiv
