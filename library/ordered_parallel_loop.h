// A loop whose steps have a slow part that may run on any thread and a part
// that must run on the calling thread, in order: reading many files on
// several cores while one thread alone changes the structure they belong to.
#pragma once

#include <cstdint>
#include <functional>

// Runs load(i) for every i in [0, count) on up to `helpers` threads of its
// own and on the calling thread, and apply(i) on the calling thread in index
// order, each as soon as its load is done. An exception from load(i) is
// thrown from the calling thread when apply would reach i; one from apply
// passes on. Either way the helpers are stopped and joined first, and no
// later step is loaded or applied.
void run_ordered_parallel(std::uint32_t count, std::uint32_t helpers, const std::function<void(std::uint32_t)>& load,
                          const std::function<void(std::uint32_t)>& apply);
