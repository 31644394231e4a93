// Bisection over a sorted collection that the search reaches only by index.
#pragma once

#include <cstdint>

namespace qiv {

class bsearch_callback {
public:
  // The sign of (item i minus the probe).
  virtual int compare(std::uint32_t i) = 0;

protected:
  ~bsearch_callback() = default;
};

// True and the position of an item equal to the probe (whichever the halving
// meets first when several are), or false and the position where the probe
// would be inserted to keep the order.
inline bool bsearch(std::uint32_t count, bsearch_callback& callback, std::uint32_t& position) {
  std::uint32_t lo = 0;
  std::uint32_t hi = count;
  while (lo < hi) {
    const std::uint32_t mid = lo + (hi - lo) / 2;  // no overflow near 2^32
    const int r = callback.compare(mid);
    if (r == 0) {
      position = mid;
      return true;
    }
    if (r > 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  position = lo;
  return false;
}

} // namespace qiv
