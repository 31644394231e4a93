// A read-only stream over bytes already in memory, for payloads that are
// parsed after being read whole (the elementary stream descriptor, kept
// metadata items).
#pragma once

#include <cstddef>
#include <cstdint>

#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

class memory_stream final : public stream {
public:
  // The bytes must outlive the stream.
  memory_stream(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  std::uint32_t read(void* buffer, std::uint32_t bytes) override;
  std::uint64_t skip(std::uint64_t bytes) override;
  void check_remaining(std::uint64_t bytes) override;
  std::uint64_t position() override { return position_; }
  void seek(std::uint64_t position) override;
  std::uint64_t size() override { return size_; }
  void truncate(std::uint64_t size) override;
  void write(const void* buffer, std::uint32_t bytes) override;

private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace tarnex
