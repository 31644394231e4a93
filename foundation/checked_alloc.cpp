#include "foundation/checked_alloc.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>

namespace qiv {

std::size_t mul_checked(std::size_t count, std::size_t size) {
  if (count == 0) return 0;
  // Sizes are 32-bit throughout the foundation, also where size_t is wider.
  const std::uint64_t product = static_cast<std::uint64_t>(count) * size;
  if (product > UINT32_MAX) throw_bad_alloc();
  return static_cast<std::size_t>(product);
}

void* checked_malloc(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  return check_alloc(std::malloc(bytes));
}

void* realloc_array_checked(void* block, std::size_t count, std::size_t element_size) {
  const std::size_t bytes = mul_checked(count, element_size);
  if (bytes == 0) {
    std::free(block);
    return nullptr;
  }
  if (!block) return check_alloc(std::malloc(bytes));
  // realloc leaves the old block alone when it fails.
  return check_alloc(std::realloc(block, bytes));
}

void* mem_realloc_checked(void* block, std::size_t bytes) { return realloc_array_checked(block, bytes, 1); }
void* alloc_array32(void* block, std::size_t count) { return realloc_array_checked(block, count, 4); }
void* array_alloc_checked(void* block, std::size_t count) { return realloc_array_checked(block, count, 16); }

void* alloc_array16(std::size_t count) { return checked_malloc(mul_checked(count, 16)); }

bool alloc_array_16(void* block, std::size_t count) {
  const std::size_t bytes = mul_checked(count, 16);
  if (!block) return bytes == 0;
  if (bytes == 0) return false;
  // _expand resizes in place or fails; it never moves the block.
  return _expand(block, bytes) != nullptr;
}

} // namespace qiv
