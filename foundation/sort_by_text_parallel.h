// Orders a list of items by a text key computed per item, spreading the key
// computation (typically a title-formatting evaluation) over all processors.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace qiv {

// Computes the key of item `index` into `key` (which arrives empty), as
// UTF-16 text. Called from several threads at once, each index exactly once:
// it must not change shared state without its own lock.
using text_sort_key_function = std::function<void(std::uint32_t index, std::wstring& key)>;

// Fills `order` (one slot per item) with the item indices sorted by key in
// the shell's natural order (digit runs by value, case ignored), equal keys
// by index, so the result is stable. From 256 items the keys are computed and
// sorted on every processor the process may use, below that on the calling
// thread; the order is the same either way.
// When a key computation throws, the first such exception is rethrown once
// every worker has stopped, and `order` is left unspecified. Thread creation
// failure throws qiv::thread::exception_creation.
void sort_by_text_parallel(std::span<std::uint32_t> order, const text_sort_key_function& key_of);

// The same with a given number of workers (at least 1 is used), for
// measuring and testing the parallel path on any machine. The keys use that
// many workers at any size; the sort, only from 256 items.
void sort_by_text_with_workers(std::span<std::uint32_t> order, const text_sort_key_function& key_of,
                               std::uint32_t worker_count);

} // namespace qiv
