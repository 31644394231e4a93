// Reading bytes that already lie in memory (a payload read whole from a
// file), as the byte stream that configuration items read from. The bytes
// belong to the caller and must outlive the reader.
#pragma once

#include <cstdint>

#include "core/byte_stream.h"

namespace vantrel_io {

class memory_reader final : public byte_stream_reader {
public:
  memory_reader(const void* data, std::uint32_t size) noexcept
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  // Copies up to `bytes` bytes and answers the count.
  std::uint32_t read_some(void* buffer, std::uint32_t bytes) noexcept;
  // Fewer than `bytes` left is exception_io_data.
  void read(void* buffer, std::uint32_t bytes);
  // Moves up to `bytes` bytes and answers the count.
  std::uint32_t skip_some(std::uint32_t bytes) noexcept;
  // Fewer than `bytes` left is exception_io_data.
  void skip(std::uint32_t bytes);

  const std::uint8_t* position_pointer() const noexcept { return data_ + position_; }

  // byte_stream_reader
  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override;
  std::uint64_t remaining() const override { return size_ - position_; }
  [[noreturn]] void throw_data_error() const override;

private:
  const std::uint8_t* data_;
  std::uint32_t size_;
  std::uint32_t position_ = 0;
};

}  // namespace vantrel_io
