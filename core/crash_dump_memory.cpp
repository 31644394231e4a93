#include "core/crash_dump_memory.h"

namespace {

constexpr std::uint32_t registers_in_context = 8;
constexpr std::uint32_t stack_pointer_index = 7;  // the last register walked
constexpr std::uint32_t stack_scan_step = 0x1000;  // the step once the stack scan begins
constexpr std::uintptr_t lowest_pointer = 0x1000;  // below: a small number, never an address

// The process may be in any state: probe with VirtualQuery instead of
// touching memory that may not be there.
bool is_readable(std::uintptr_t address, std::size_t size) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof(region)) == 0) return false;
  if (region.State != MEM_COMMIT) return false;
  if ((region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  constexpr DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                             PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  if ((region.Protect & readable) == 0) return false;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  return address + size <= end;
}

// The 64-bit build (which only the tests use, on machines that cannot run
// 32-bit programs) walks the same registers under their 64-bit names.
std::uintptr_t register_value(const CONTEXT& context, std::uint32_t index) {
  switch (index) {
#ifdef _WIN64
  case 0: return context.Rdi;
  case 1: return context.Rsi;
  case 2: return context.Rbx;
  case 3: return context.Rdx;
  case 4: return context.Rcx;
  case 5: return context.Rax;
  case 6: return context.Rip;
  default: return context.Rsp;
#else
  case 0: return context.Edi;
  case 1: return context.Esi;
  case 2: return context.Ebx;
  case 3: return context.Edx;
  case 4: return context.Ecx;
  case 5: return context.Eax;
  case 6: return context.Eip;
  default: return context.Esp;
#endif
  }
}

void range_around(std::uintptr_t address, std::uintptr_t& base, std::uint32_t& size) {
  base = address >= crash_dump_memory_walk::range_before ? address - crash_dump_memory_walk::range_before : address;
  size = crash_dump_memory_walk::range_size;
}

}  // namespace

bool crash_dump_memory_walk::next(std::uintptr_t& base, std::uint32_t& size) noexcept {
  if (context_ == nullptr) return false;
  if (step_ < registers_in_context) {
    range_around(register_value(*context_, step_), base, size);
    ++step_;
    return true;
  }
  if (step_ < stack_scan_step) step_ = stack_scan_step;
  // Stack words are pointer-sized and aligned.
  const std::uintptr_t stack = register_value(*context_, stack_pointer_index) & ~std::uintptr_t(sizeof(std::uintptr_t) - 1);
  for (;;) {
    const std::uintptr_t offset = step_ - stack_scan_step;
    if (offset > stack_bytes) return false;
    step_ += sizeof(std::uintptr_t);
    if (!is_readable(stack + offset, sizeof(std::uintptr_t))) return false;
    const std::uintptr_t word = *reinterpret_cast<const std::uintptr_t*>(stack + offset);
    if (word >= lowest_pointer && is_readable(word, 1)) {
      range_around(word, base, size);
      return true;
    }
  }
}
