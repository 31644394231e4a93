// A counting allocator for benchmarks that report memory: the including
// program's own operator new and delete, with a size header in front of
// each block. Include it in one source file of a benchmark only.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace bench {

inline std::size_t live_bytes = 0;
inline std::size_t peak_bytes = 0;

}  // namespace bench

void* operator new(std::size_t size) {
  void* block = std::malloc(size + 8);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  bench::live_bytes += size;
  if (bench::live_bytes > bench::peak_bytes) bench::peak_bytes = bench::live_bytes;
  return static_cast<char*>(block) + 8;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - 8;
  bench::live_bytes -= *static_cast<std::size_t*>(block);
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
