#include "inputs/mp4/memory_stream.h"

#include <cstring>

#include "foundation/exceptions.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

std::uint32_t memory_stream::read(void* buffer, std::uint32_t bytes) {
  const std::size_t left = size_ - position_;
  const std::uint32_t n = bytes < left ? bytes : static_cast<std::uint32_t>(left);
  if (n != 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

std::uint64_t memory_stream::skip(std::uint64_t bytes) {
  const std::size_t left = size_ - position_;
  const std::size_t n = bytes < left ? static_cast<std::size_t>(bytes) : left;
  position_ += n;
  return n;
}

void memory_stream::check_remaining(std::uint64_t bytes) {
  if (bytes > size_ - position_) throw exception_truncation();
}

void memory_stream::seek(std::uint64_t target) {
  if (target > size_) throw exception_truncation();
  position_ = static_cast<std::size_t>(target);
}

void memory_stream::truncate(std::uint64_t) { qiv::throw_not_implemented(); }

void memory_stream::write(const void*, std::uint32_t) { qiv::throw_not_implemented(); }

}  // namespace tarnex
