// The ASCII digits '0' to '9', the only digits numbers in tags, file names
// and settings are written with (never the locale's or Unicode's others).
#pragma once

namespace qiv {

constexpr bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_digit(wchar_t unit) noexcept { return unit >= L'0' && unit <= L'9'; }

} // namespace qiv
