// 10^n by squaring, in the type the caller computes in (an integer type
// wraps as its own multiplication does). In a floating type every step
// is exact up to 10^22 (10^27 in an 80-bit long double), unlike a library
// pow() whose last bit differs between runtimes.
#pragma once

namespace qiv {

template <class Float>
Float power_of_ten(unsigned long long n) noexcept {
  Float result = 1;
  Float square = 10;
  while (n != 0) {
    if (n & 1) result *= square;
    square *= square;
    n >>= 1;
  }
  return result;
}

} // namespace qiv
