#include "core/crash_dump_memory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct range {
  std::uintptr_t base;
  std::uint32_t size;
  bool operator==(const range&) const = default;
};

// A stack of our own: one committed page with nothing readable after it, so
// the walk meets pointers, a number, unreadable memory and the stack's end.
TEST(CrashDumpMemory, RegistersFirstThenStackWordsThatPointToReadableMemory) {
  auto* pages = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 0x2000, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pages, nullptr);
  ASSERT_NE(VirtualAlloc(pages, 0x1000, MEM_COMMIT, PAGE_READWRITE), nullptr);
  auto at = [&](std::uintptr_t offset) { return reinterpret_cast<std::uintptr_t>(pages + offset); };
  static std::uint8_t readable_data[64];
  const std::uintptr_t data = reinterpret_cast<std::uintptr_t>(readable_data);
  const std::uintptr_t words[] = {0x0FFF, data, at(0x1800), at(0x10)};  // a number, data, reserved, stack
  constexpr std::uintptr_t word_size = sizeof(std::uintptr_t);
  for (int i = 0; i < 4; ++i) *reinterpret_cast<std::uintptr_t*>(pages + 0x1000 - 4 * word_size + word_size * i) = words[i];
  CONTEXT context = {};
  const std::uintptr_t stack_pointer = at(0x1000 - 4 * word_size) + 2;  // not aligned: the scan starts at the word below
#ifdef _WIN64
  context.Rdi = 0x10000, context.Rsi = 0x100;  // below 0x200: the range starts at the value itself
  context.Rbx = 0x30000, context.Rdx = 0x40000, context.Rcx = 0x50000, context.Rax = 0x60000, context.Rip = 0x70000;
  context.Rsp = stack_pointer;
#else
  context.Edi = 0x10000, context.Esi = 0x100;  // below 0x200: Esi's range starts at the value itself
  context.Ebx = 0x30000, context.Edx = 0x40000, context.Ecx = 0x50000, context.Eax = 0x60000, context.Eip = 0x70000;
  context.Esp = stack_pointer;
#endif

  crash_dump_memory_walk walk(&context);
  std::vector<range> ranges;
  range next{};
  while (ranges.size() < 1000 && walk.next(next.base, next.size)) ranges.push_back(next);
  VirtualFree(pages, 0, MEM_RELEASE);
  const std::uintptr_t esp = stack_pointer;
  EXPECT_EQ(ranges, (std::vector<range>{{0x10000 - 0x200, 0x400}, {0x100, 0x400}, {0x30000 - 0x200, 0x400},
                                        {0x40000 - 0x200, 0x400}, {0x50000 - 0x200, 0x400}, {0x60000 - 0x200, 0x400},
                                        {0x70000 - 0x200, 0x400}, {esp - 0x200, 0x400}, {data - 0x200, 0x400},
                                        {at(0x10) - 0x200, 0x400}}));
}

}  // namespace
