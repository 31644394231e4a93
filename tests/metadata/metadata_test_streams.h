// Byte streams over a string, and the stored form of a display record.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/track_display_info.h"

class string_reader final : public vantrel_io::reader {
public:
  explicit string_reader(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal&) override {
    const std::size_t now = std::min<std::size_t>(bytes, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, now);
    position_ += now;
    return static_cast<std::uint32_t>(now);
  }

private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class string_writer final : public vantrel_io::writer {
public:
  void write(const void* buffer, std::uint32_t count, const abort_signal&) override {
    bytes.append(static_cast<const char*>(buffer), count);
  }
  std::string bytes;
};

inline std::string stored_bytes(const track_display_info& record) {
  string_writer out;
  record.write(out, never_raised_abort_signal());
  return out.bytes;
}

// Float length, block size, block.
inline std::string stored_record(float length, const std::string& block) {
  std::string out(8, '\0');
  std::memcpy(&out[0], &length, 4);
  const std::uint32_t size = static_cast<std::uint32_t>(block.size());
  std::memcpy(&out[4], &size, 4);
  return out + block;
}
