// Allocation on the C runtime's heap that reports failure by exception, for
// code that manages raw blocks itself.
#pragma once

#include <cstddef>

namespace qiv {

// Null for size 0; otherwise a block of that size, or std::bad_alloc.
void* raw_malloc(std::size_t size);

// Size 0 frees the block and gives null; a null block is allocated as by
// raw_malloc; otherwise the block is resized with its contents kept. On
// failure std::bad_alloc is thrown and the old block stays valid.
// Blocks from either function are freed with std::free or raw_realloc(p, 0).
void* raw_realloc(void* block, std::size_t size);

} // namespace qiv
