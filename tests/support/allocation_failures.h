// Allocations that fail on request, for tests of writers that must fail
// with the file as it was: the including program's own operator new and
// delete (the foundation's pair is then left out of it), so include it in
// one source file of a test program only.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace allocation_failures {

// How allocations fail once armed (`first` not 0): from allocation number
// `first` on, a run of `run` of them, as while a burst of work has the
// memory; with `larger_too`, that one and every later one at least as
// large, as when the address space has no room left for a block of its size.
struct plan {
  long first = 0;
  long run = 1;
  bool larger_too = false;
};

inline plan armed;
inline long count = 0;
inline std::size_t failed_size = 0;
inline bool met = false;

// Arms `p` from the next allocation on.
inline void arm(const plan& p) {
  count = 0;
  met = false;
  armed = p;
}
inline void disarm() { armed.first = 0; }

inline bool fails(std::size_t size) {
  if (armed.first == 0 || ++count < armed.first) return false;
  if (count == armed.first) failed_size = size;
  const bool failing = count < armed.first + armed.run || (armed.larger_too && size >= failed_size);
  met = met || failing;
  return failing;
}

}  // namespace allocation_failures

void* operator new(std::size_t size) {
  if (allocation_failures::fails(size)) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
