// Byte streams over std::vector for tests of code that reads and writes
// through core/byte_stream.h without the file layer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/byte_stream.h"
#include "core/io_exception_base.h"
#include "tests/support/no_abort.h"

namespace test_support {

using bytes = std::vector<std::uint8_t>;

// What the test reader throws for damaged data.
class test_data_error : public vantrel_io::exception_io {
public:
  test_data_error() : exception_io("test data error") {}
};

class vector_reader final : public byte_stream_reader {
public:
  // `size_known` false: the reader answers an unknown remaining size, as a
  // stream would.
  explicit vector_reader(bytes data, bool size_known = true) : data_(std::move(data)), size_known_(size_known) {}

  std::uint32_t read(void* buffer, std::uint32_t count, const abort_signal&) override {
    const std::size_t n = std::min<std::size_t>(count, data_.size() - position_);
    if (n) std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    largest_read_ = std::max<std::size_t>(largest_read_, count);
    return static_cast<std::uint32_t>(n);
  }
  std::uint64_t remaining() const override { return size_known_ ? data_.size() - position_ : byte_stream_size_unknown; }
  [[noreturn]] void throw_data_error() const override { throw test_data_error(); }

  std::size_t position() const { return position_; }
  // The largest count asked of one read: shows whether a reader trusted a
  // length from the data before reading.
  std::size_t largest_read() const { return largest_read_; }

private:
  bytes data_;
  bool size_known_;
  std::size_t position_ = 0;
  std::size_t largest_read_ = 0;
};

class vector_writer final : public byte_stream_writer {
public:
  void write(const void* buffer, std::uint32_t count, const abort_signal&) override {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    data.insert(data.end(), p, p + count);
  }
  bytes data;
};

inline void append_u32(bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline bytes u32_bytes(std::initializer_list<std::uint32_t> values) {
  bytes out;
  for (std::uint32_t value : values) append_u32(out, value);
  return out;
}

inline bytes concat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline bytes guid_memory_bytes(const GUID& guid) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&guid);
  return bytes(p, p + sizeof(GUID));
}

} // namespace test_support
