// The memory a crash dump adds beyond what the system's writer takes: 1 KB
// around each register of the failing thread, then 1 KB around each word of
// the top 1 KB of its stack that points to readable memory. That is usually
// enough to see the data the failing code was working on.
#pragma once

#include <windows.h>

#include <cstdint>

class crash_dump_memory_walk {
public:
  static constexpr std::uintptr_t range_before = 0x200;
  static constexpr std::uint32_t range_size = 0x400;
  static constexpr std::uintptr_t stack_bytes = 0x400;  // offsets 0 to this, both included

  // `context`: the failing thread's registers; null adds nothing.
  explicit crash_dump_memory_walk(const CONTEXT* context) noexcept : context_(context) {}

  // The next range to add, in the order EDI, ESI, EBX, EDX, ECX, EAX, EIP,
  // ESP, then the stack's pointers. False when there is no more: after the
  // last stack word, or at the first stack word that cannot be read.
  bool next(std::uintptr_t& base, std::uint32_t& size) noexcept;

private:
  const CONTEXT* context_;
  std::uint32_t step_ = 0;  // registers 0-7, then 0x1000 + the stack offset
};
