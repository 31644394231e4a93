// In-place sorting of any collection through callbacks: the sort knows
// nothing of the items and reaches them only by index.
#pragma once

#include <cstdint>

namespace qiv {

class sort_callback {
public:
  // Negative, zero or positive when item i goes before, with or after item j.
  virtual int compare(std::uint32_t i, std::uint32_t j) = 0;
  // Exchanges items i and j; never called with i == j.
  virtual void swap(std::uint32_t i, std::uint32_t j) = 0;

protected:
  ~sort_callback() = default;
};

class reorder_callback {
public:
  virtual void swap(std::uint32_t i, std::uint32_t j) = 0;

protected:
  ~reorder_callback() = default;
};

// A number in [0, n) from the runtime's rand(), mixed with the time-stamp
// counter so that pivots differ between runs; 0 when n is 0.
std::uint32_t random_below(std::uint32_t n);

// Quicksort of [first, first + count) with random pivots; not stable. Takes
// no memory: it recurses into the left part only and loops over the right.
void sort(sort_callback& callback, std::uint32_t first, std::uint32_t count);

// Reseeds rand() and sorts [0, count); equal items end in an order that
// differs from run to run.
void sort_randomized(sort_callback& callback, std::uint32_t count);

// As sort_randomized, but items that compare equal keep their order.
void sort_stable(sort_callback& callback, std::uint32_t count);

// Rearranges [0, count) so that position k receives the item that was at
// permutation[k]. Allocates nothing up to 8,192 items. A permutation that
// repeats or exceeds an index throws exception_invalid_params (the items may
// then be partly moved).
void reorder_by_permutation(reorder_callback& callback, const std::uint32_t* permutation, std::uint32_t count);

} // namespace qiv
