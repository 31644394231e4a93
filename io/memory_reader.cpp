#include "io/memory_reader.h"

#include <algorithm>
#include <cstring>

#include "io/io_exceptions.h"

namespace vantrel_io {

std::uint32_t memory_reader::read_some(void* buffer, std::uint32_t bytes) noexcept {
  const std::uint32_t count = std::min(bytes, size_ - position_);
  if (count != 0) std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

void memory_reader::read(void* buffer, std::uint32_t bytes) {
  if (bytes > size_ - position_) throw_io_data();
  read_some(buffer, bytes);
}

std::uint32_t memory_reader::skip_some(std::uint32_t bytes) noexcept {
  const std::uint32_t count = std::min(bytes, size_ - position_);
  position_ += count;
  return count;
}

void memory_reader::skip(std::uint32_t bytes) {
  if (bytes > size_ - position_) throw_io_data();
  position_ += bytes;
}

std::uint32_t memory_reader::read(void* buffer, std::uint32_t bytes, const abort_signal& abort) {
  abort.check_and_throw();
  return read_some(buffer, bytes);
}

void memory_reader::throw_data_error() const { throw_io_data(); }

}  // namespace vantrel_io
