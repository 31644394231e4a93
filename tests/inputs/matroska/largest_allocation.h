// Records the largest single allocation of the program, so that tests can
// show that no crafted size made the reader ask for more than its caps.
// Include it in exactly one source file of an executable: it replaces the
// global operator new.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace largest_allocation {

inline std::atomic<std::size_t> largest{0};

inline void reset() { largest = 0; }

inline void* allocate(std::size_t bytes) {
  std::size_t seen = largest.load();
  while (bytes > seen && !largest.compare_exchange_weak(seen, bytes)) {
  }
  if (void* block = std::malloc(bytes ? bytes : 1)) return block;
  throw std::bad_alloc();
}

}  // namespace largest_allocation

void* operator new(std::size_t bytes) { return largest_allocation::allocate(bytes); }
void* operator new[](std::size_t bytes) { return largest_allocation::allocate(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
