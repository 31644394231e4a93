// Byte streams over a string, for the tests of stored records.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "io/file_object.h"

class string_reader final : public vantrel_io::reader {
public:
  explicit string_reader(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal&) override {
    const std::size_t now = std::min<std::size_t>(bytes, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, now);
    position_ += now;
    return static_cast<std::uint32_t>(now);
  }
  std::size_t position() const { return position_; }

private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class string_writer final : public vantrel_io::writer {
public:
  void write(const void* buffer, std::uint32_t bytes, const abort_signal&) override {
    bytes_.append(static_cast<const char*>(buffer), bytes);
  }
  const std::string& bytes() const { return bytes_; }

private:
  std::string bytes_;
};

// The stored form of a display record: float length, block size, block.
inline std::string stored_record(float length, const std::string& block) {
  std::string out(8, '\0');
  std::memcpy(&out[0], &length, 4);
  const std::uint32_t size = static_cast<std::uint32_t>(block.size());
  std::memcpy(&out[4], &size, 4);
  return out + block;
}
