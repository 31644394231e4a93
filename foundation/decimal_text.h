// Plain decimal appends: a minus sign for negative values, no padding, "0"
// for zero.
#pragma once

#include <cstdint>

#include "foundation/string_object.h"

namespace qiv {

void format_int32(string_object& out, std::int32_t value);
void format_uint64(string_object& out, std::uint64_t value);
void format_int64(string_object& out, std::int64_t value);

} // namespace qiv
