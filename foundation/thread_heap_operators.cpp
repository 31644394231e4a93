// The replaced scalar operator new and delete (see thread_heaps.h); the
// runtime's array, sized and nothrow forms call these. Both in one file: a
// program (a test) that brings its own pair takes neither from here.
#include <cstdint>
#include <new>

#include "foundation/thread_heaps.h"

namespace {
// Before each block, the heap it came from; as large as the heap's own
// alignment of blocks on this 32-bit target, which new keeps.
constexpr std::size_t block_header = 8;
static_assert(sizeof(HANDLE) <= block_header);
}  // namespace

void* operator new(std::size_t size) {
  if (size > SIZE_MAX - block_header) throw std::bad_alloc();
  const HANDLE heap = qiv::current_thread_heap();
  void* const block = HeapAlloc(heap, 0, size + block_header);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<HANDLE*>(block) = heap;
  return static_cast<char*>(block) + block_header;
}

void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* const block = static_cast<char*>(pointer) - block_header;
  HeapFree(*static_cast<HANDLE*>(block), 0, block);
}
