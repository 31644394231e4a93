// A shared, growable byte block (picture data and the like) that several
// readers hold at once; the last reference frees it.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/array.h"
#include "foundation/refcounted.h"
#include "foundation/string_object.h"

class counted_block final : public qiv::refcounted_object {
public:
  using buffer = qiv::array<std::uint8_t>;

  // The reference that keeps the block alive, with its buffer.
  struct created {
    qiv::ref_ptr<counted_block> block;
    buffer* data;
  };

  // A new block holding a copy of the bytes.
  static created create(const void* bytes, std::uint32_t size);
  // A copy of the first `size` bytes of source.data(); the source holds at
  // least that many.
  template <class Source>
  static created create_from_object(const Source& source, std::uint32_t size) {
    return create(source.data(), size);
  }

  // The NUL-terminated text starting at `offset`, cut at the block's end when
  // no NUL follows. An offset past the end is qiv::exception_overflow.
  static void text_at(const counted_block& block, std::uint32_t offset, qiv::string_object& out);

  buffer& data() noexcept { return data_; }
  const buffer& data() const noexcept { return data_; }

private:
  ~counted_block() override = default;
  buffer data_;
};
