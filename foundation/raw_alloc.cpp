#include "foundation/raw_alloc.h"

#include <cstdlib>
#include <new>

namespace qiv {

void* raw_malloc(std::size_t size) {
  if (size == 0) return nullptr;
  void* block = std::malloc(size);
  if (!block) throw std::bad_alloc();
  return block;
}

void* raw_realloc(void* block, std::size_t size) {
  // The runtime's own realloc(p, 0) differs between runtimes; freeing here
  // makes the answer null everywhere.
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  if (!block) return raw_malloc(size);
  void* grown = std::realloc(block, size);
  if (!grown) throw std::bad_alloc();
  return grown;
}

} // namespace qiv
