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
// the walk meets both pointers and the end of readable memory.
class CrashDumpMemory : public ::testing::Test {
protected:
  void SetUp() override {
    pages_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 0x2000, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(pages_, nullptr);
    ASSERT_NE(VirtualAlloc(pages_, 0x1000, MEM_COMMIT, PAGE_READWRITE), nullptr);
    context_.Edi = 0x10000;
    context_.Esi = 0x100;  // below 0x200: the range starts at the value itself
    context_.Ebx = 0x30000;
    context_.Edx = 0x40000;
    context_.Ecx = 0x50000;
    context_.Eax = 0x60000;
    context_.Eip = 0x70000;
  }
  void TearDown() override { VirtualFree(pages_, 0, MEM_RELEASE); }

  std::vector<range> walk_all() {
    crash_dump_memory_walk walk(&context_);
    std::vector<range> ranges;
    range next{};
    while (ranges.size() < 1000 && walk.next(next.base, next.size)) ranges.push_back(next);
    return ranges;
  }
  void put_word(std::uintptr_t offset, const void* value) {
    *reinterpret_cast<std::uint32_t*>(pages_ + offset) = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
  }
  std::uintptr_t at(std::uintptr_t offset) const { return reinterpret_cast<std::uintptr_t>(pages_ + offset); }

  std::uint8_t* pages_ = nullptr;
  CONTEXT context_ = {};
};

TEST_F(CrashDumpMemory, RegistersFirstThenStackWordsThatPointToReadableMemory) {
  static std::uint8_t readable_data[64];
  // Not aligned: the scan starts at the word below the stack pointer.
  context_.Esp = at(0x1000 - 16) + 2;
  put_word(0x1000 - 16, reinterpret_cast<const void*>(0x0FFF));  // a small number, no address
  put_word(0x1000 - 12, readable_data);
  put_word(0x1000 - 8, pages_ + 0x1800);  // reserved, not readable
  put_word(0x1000 - 4, pages_ + 0x10);
  const std::uintptr_t data = reinterpret_cast<std::uintptr_t>(readable_data);
  const std::uintptr_t esp = context_.Esp;
  // The walk ends at the first word past the page.
  EXPECT_EQ(walk_all(), (std::vector<range>{{0x10000 - 0x200, 0x400}, {0x100, 0x400}, {0x30000 - 0x200, 0x400},
                                            {0x40000 - 0x200, 0x400}, {0x50000 - 0x200, 0x400},
                                            {0x60000 - 0x200, 0x400}, {0x70000 - 0x200, 0x400},
                                            {esp - 0x200, 0x400}, {data - 0x200, 0x400},
                                            {at(0x10) - 0x200, 0x400}}));
}

}  // namespace
