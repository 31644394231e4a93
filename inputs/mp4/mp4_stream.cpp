#include "inputs/mp4/mp4_stream.h"

#include "foundation/exceptions.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

void stream::read_exact(void* buffer, std::uint32_t bytes) {
  if (read(buffer, bytes) != bytes) throw exception_truncation();
}

std::uint64_t stream::skip(std::uint64_t bytes) {
  const std::uint64_t end = size();
  const std::uint64_t at = position();
  qiv::dynamic_assert(at <= end);
  if (bytes > end - at) bytes = end - at;
  seek(at + bytes);
  return bytes;
}

void stream::skip_exact(std::uint64_t bytes) {
  if (skip(bytes) != bytes) throw exception_truncation();
}

void stream::check_remaining(std::uint64_t) {}

void stream::overwrite(std::uint64_t at, const void* bytes, std::uint32_t size) {
  seek(at);
  write(bytes, size);
}

}  // namespace tarnex
