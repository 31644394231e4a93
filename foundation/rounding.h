// Rounding to whole numbers the way every caller of the system expects it:
// halves go up (towards positive infinity), so 2.5 gives 3 and -2.5 gives -2.
#pragma once

#include <cmath>
#include <cstdint>

namespace qiv {

inline std::int32_t round_to_int(double x) { return static_cast<std::int32_t>(std::floor(x + 0.5)); }
inline std::int64_t round_half_up(double x) { return static_cast<std::int64_t>(std::floor(x + 0.5)); }

} // namespace qiv
