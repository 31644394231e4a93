// Allocation wrappers of the foundation. Every failed or overflowing
// allocation becomes std::bad_alloc ("bad allocation"), never a null pointer
// or a block that silently wrapped to a smaller size. Blocks come from the C
// heap: release them with std::free (or a wrapper below with a count of 0).
#pragma once

#include <cstddef>

#include "foundation/exceptions.h"

namespace qiv {

// Returns the pointer; a null pointer throws std::bad_alloc.
template <class T>
T* check_alloc(T* pointer) {
  if (!pointer) [[unlikely]] throw_bad_alloc();
  return pointer;
}

// count * size; 0 whenever count is 0, whatever the size. A product that
// does not fit 32 bits throws std::bad_alloc.
std::size_t mul_checked(std::size_t count, std::size_t size);

// A fresh block of that many bytes; 0 bytes gives null without allocating.
void* checked_malloc(std::size_t bytes);

// Resizes a block of count elements of element_size bytes, keeping its
// contents. A count of 0 frees the block and yields null; a null block is
// allocated fresh. On failure the old block stays valid and untouched.
void* realloc_array_checked(void* block, std::size_t count, std::size_t element_size);

// The same for the element sizes the foundation uses.
void* mem_realloc_checked(void* block, std::size_t bytes);     // 1-byte elements
void* alloc_array32(void* block, std::size_t count);            // 4-byte elements
void* array_alloc_checked(void* block, std::size_t count);      // 16-byte elements

// A fresh block of count 16-byte elements; a count of 0 yields null.
void* alloc_array16(std::size_t count);

// Tries to resize a block of 16-byte elements without moving it. Arrays of
// elements with constructors call this first, since a block that moves must
// have its elements copied one by one. A null block succeeds only for a count
// of 0; a count of 0 on an existing block fails (the caller frees it).
bool alloc_array_16(void* block, std::size_t count);

} // namespace qiv
