#include "metadata/counted_block.h"

#include "foundation/exceptions.h"

counted_block::created counted_block::create(const void* bytes, std::uint32_t size) {
  qiv::ref_ptr<counted_block> block(new counted_block());
  block->data_.set_size(size);
  if (size != 0) std::memcpy(block->data_.data(), bytes, size);
  return {block, &block->data_};
}

void counted_block::text_at(const counted_block& block, std::uint32_t offset, qiv::string_object& out) {
  const std::uint32_t size = block.data_.get_count();
  if (offset > size) throw qiv::exception_overflow();
  const char* start = reinterpret_cast<const char*>(block.data_.data()) + offset;
  const std::uint32_t available = size - offset;
  const void* nul = available ? std::memchr(start, 0, available) : nullptr;
  out.set_string(start, nul ? static_cast<const char*>(nul) - start : available);
}
