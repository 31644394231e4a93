// Durations for display: track lengths, positions and the length fields of
// title formatting. Built in fixed strings so that formatting a length per
// list item never allocates.
#pragma once

#include <cstdint>

#include "foundation/string_fixed.h"

namespace qiv {

// "M:SS" below an hour, "H:MM:SS" below a day, then "Dd H:MM:SS" and
// "Wwk Dd H:MM:SS": 65 gives "1:05", 604800 gives "1wk 0d 0:00:00".
string_fixed128 format_timespan(std::uint64_t seconds);

// format_timespan of the whole seconds, then "." and `decimals` digits of the
// fraction, rounded: (65.25, 1) gives "1:05.3". With 0 decimals the fraction
// is written as ".0". Negative and NaN durations show as 0; more than 19
// decimals (beyond the 64-bit scale) are written as 19.
string_fixed128 format_time_ex(double seconds, unsigned decimals);

} // namespace qiv
