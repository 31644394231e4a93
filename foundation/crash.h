// The fatal stop: an internal error the program cannot recover from.
#pragma once

#include <cstdint>

namespace qiv {

// The structured-exception code that qiv::crash raises. Only the crash
// handler acts on it (it writes a dump and ends the process); the terminate
// handler raises it too, so every fatal path ends in the same place.
inline constexpr std::uint32_t crash_exception_code = 0xAA67913C;

// Raises crash_exception_code as a non-continuable exception; never returns.
[[noreturn]] void crash();

} // namespace qiv
