#include "io/memory_writer.h"

#include <cstring>

#include "foundation/exceptions.h"

namespace vantrel_io {

void memory_writer::write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) {
  abort.check_and_throw();
  const std::uint32_t old_size = bytes_.get_count();
  if (bytes > ~std::uint32_t(0) - old_size) qiv::throw_bad_alloc();
  if (bytes == 0) return;
  bytes_.resize_doubling(old_size + bytes);
  std::memcpy(bytes_.data() + old_size, buffer, bytes);
}

}  // namespace vantrel_io
