#include "foundation/array.h"

#include <malloc.h>

namespace qiv {

namespace array_detail {

std::uint32_t doubling_capacity(std::uint32_t allocated, std::uint32_t wanted) {
  std::uint32_t capacity = allocated ? allocated : 1;
  while (capacity < wanted) {
    if (capacity > UINT32_MAX / 2) throw_bad_alloc();
    capacity *= 2;
  }
  return capacity;
}

std::uint32_t hysteresis_capacity(std::uint32_t allocated, std::uint32_t wanted) {
  std::uint32_t capacity = doubling_capacity(allocated, wanted);
  while (capacity / 4 > wanted) capacity /= 2;
  return capacity;
}

bool resize_in_place(void* block, std::uint32_t count, std::size_t element_size) {
  const std::size_t bytes = mul_checked(count, element_size);
  if (!block || bytes == 0) return false;
  // _expand never moves the block: it resizes it where it is or fails.
  return _expand(block, bytes) != nullptr;
}

} // namespace array_detail

void byte_array::grow_by(const void* bytes, std::uint32_t n) {
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  const std::uint32_t old_count = get_count();
  if (n > UINT32_MAX - old_count) throw_bad_alloc();
  // Bytes taken from this array itself must be found again after the growth
  // has moved the storage.
  const bool from_self = source >= data() && source < data() + old_count;
  const std::size_t offset = from_self ? static_cast<std::size_t>(source - data()) : 0;
  resize_hysteresis(old_count + n);
  if (from_self) source = data() + offset;
  if (n) std::memmove(data() + old_count, source, n);
}

void byte_array::assign(const void* bytes, std::uint32_t n) {
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  if (n && source >= data() && source < data() + get_count()) {
    // A part of this array: bring it to the front before the resize moves it.
    std::memmove(data(), source, n);
    set_size(n);
    return;
  }
  set_size(n);
  if (n) std::memcpy(data(), source, n);
}

} // namespace qiv
