#include "foundation/sort.h"

#include <cstdlib>
#include <vector>

#include <x86intrin.h>

#include "foundation/exceptions.h"
#include "foundation/small_byte_array.h"

namespace qiv {

namespace {

void seed_from_time_stamp(std::uint32_t count) {
  std::srand(static_cast<unsigned>(__rdtsc()) ^ count);
}

// Three distinct random positions, median by the callback: a random pivot
// keeps already-sorted and reversed input from degrading to quadratic time.
std::uint32_t pick_pivot(sort_callback& callback, std::uint32_t first, std::uint32_t count) {
  std::uint32_t a = random_below(count);
  std::uint32_t b = random_below(count - 1);
  std::uint32_t c = random_below(count - 2);
  if (b >= a) ++b;
  if (c >= a) ++c;
  if (c >= b) ++c;
  a += first;
  b += first;
  c += first;

  if (callback.compare(a, b) > 0) {
    const std::uint32_t t = a;
    a = b;
    b = t;
  }
  if (callback.compare(a, c) > 0) c = a;
  return callback.compare(b, c) > 0 ? c : b;
}

void sort_small(sort_callback& callback, std::uint32_t first, std::uint32_t count) {
  for (std::uint32_t i = first + 1; i < first + count; ++i)
    for (std::uint32_t j = first; j < i; ++j)
      if (callback.compare(j, i) > 0) callback.swap(j, i);
}

// Breaks ties of the caller's order by original position, carrying the
// positions along with the items.
class stable_order : public sort_callback {
public:
  stable_order(sort_callback& inner, std::uint32_t count) : inner_(inner), original_position_(count) {
    for (std::uint32_t k = 0; k < count; ++k) original_position_[k] = k;
  }

  int compare(std::uint32_t i, std::uint32_t j) override {
    const int r = inner_.compare(i, j);
    if (r != 0) return r;
    const std::uint32_t pi = original_position_[i];
    const std::uint32_t pj = original_position_[j];
    return pi < pj ? -1 : (pi > pj ? 1 : 0);
  }

  void swap(std::uint32_t i, std::uint32_t j) override {
    inner_.swap(i, j);
    const std::uint32_t t = original_position_[i];
    original_position_[i] = original_position_[j];
    original_position_[j] = t;
  }

private:
  sort_callback& inner_;
  std::vector<std::uint32_t> original_position_;
};

} // namespace

std::uint32_t random_below(std::uint32_t n) {
  if (n == 0) return 0;
  // rand() gives only 15 bits; gather enough of them to cover n.
  std::uint64_t x = 0;
  std::uint64_t m = 1;
  do {
    x += static_cast<std::uint64_t>(std::rand()) * m;
    m <<= 15;
  } while (m < n);
  x ^= __rdtsc();
  return static_cast<std::uint32_t>(x % n);
}

void sort(sort_callback& callback, std::uint32_t first, std::uint32_t count) {
  while (count > 4) {
    const std::uint32_t last = first + count - 1;
    const std::uint32_t pivot = pick_pivot(callback, first, count);
    if (pivot != last) callback.swap(pivot, last);

    // Items equal to the pivot go alternately right and left, so a run of
    // equal items splits in half instead of degrading to quadratic time.
    std::uint32_t store = first;
    bool equal_goes_left = false;
    for (std::uint32_t i = first; i < last; ++i) {
      const int r = callback.compare(i, last);
      if (r < 0 || (r == 0 && equal_goes_left)) {
        if (store != i) callback.swap(store, i);
        ++store;
      }
      if (r == 0) equal_goes_left = !equal_goes_left;
    }
    if (store != last) callback.swap(last, store);

    // The smaller side recurses and the larger one loops, so the depth stays
    // logarithmic even for a comparator that never answers "equal".
    const std::uint32_t left = store - first;
    const std::uint32_t right = last - store;
    if (left <= right) {
      sort(callback, first, left);
      first = store + 1;
      count = right;
    } else {
      sort(callback, store + 1, right);
      count = left;
    }
  }
  sort_small(callback, first, count);
}

void sort_randomized(sort_callback& callback, std::uint32_t count) {
  seed_from_time_stamp(count);
  sort(callback, 0, count);
}

void sort_stable(sort_callback& callback, std::uint32_t count) {
  stable_order wrapper(callback, count);
  seed_from_time_stamp(count);
  sort(wrapper, 0, count);
}

void reorder_by_permutation(reorder_callback& callback, const std::uint32_t* permutation, std::uint32_t count) {
  small_byte_array placed((static_cast<std::size_t>(count) + 7) / 8);
  auto is_placed = [&](std::uint32_t k) { return (placed[k / 8] >> (k % 8)) & 1; };
  auto mark_placed = [&](std::uint32_t k) { placed[k / 8] |= static_cast<unsigned char>(1u << (k % 8)); };

  for (std::uint32_t i = 0; i < count; ++i) {
    if (permutation[i] == i || is_placed(i)) continue;
    std::uint32_t current = i;
    std::uint32_t next = permutation[i];
    // Every step places a new position, so the walk ends; an index out of
    // range or met twice means the caller's array is no permutation, which
    // would otherwise read past the marks or cycle forever.
    do {
      if (next >= count || is_placed(next)) throw exception_invalid_params();
      callback.swap(current, next);
      mark_placed(next);
      current = next;
      next = permutation[next];
    } while (next != i);
  }
}

} // namespace qiv
