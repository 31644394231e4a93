#include "io/memory_file.h"

#include <algorithm>
#include <cstring>

#include "foundation/array.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

constexpr std::uint64_t memory_limit = std::uint64_t(1) << 32;

class memory_file : public file_object {
public:
  std::uint64_t get_size(const abort_signal& abort) override {
    abort.check_and_throw();
    return bytes_.get_count();
  }

  std::uint64_t get_position(const abort_signal& abort) override {
    abort.check_and_throw();
    return position_;
  }

  // Bytes that a grown file gains are not cleared: callers read only what
  // they wrote.
  void resize(std::uint64_t size, const abort_signal& abort) override {
    abort.check_and_throw();
    if (size >= memory_limit) qiv::throw_overflow();
    bytes_.resize_hysteresis(static_cast<std::uint32_t>(size));
    position_ = std::min(position_, static_cast<std::uint32_t>(size));
  }

  void seek(std::uint64_t position, const abort_signal& abort) override {
    abort.check_and_throw();
    if (position > bytes_.get_count()) throw_io_seek_out_of_range();
    position_ = static_cast<std::uint32_t>(position);
  }

  bool can_seek() override { return true; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return true; }
  void check_abort(const abort_signal&) override {}

  std::uint64_t get_timestamp(const abort_signal& abort) override {
    abort.check_and_throw();
    return filetime_unknown;
  }

  bool is_remote() override { return false; }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    abort.check_and_throw();
    const std::uint32_t available = bytes_.get_count() - position_;
    const std::uint32_t done = std::min(bytes, available);
    if (done) std::memcpy(buffer, bytes_.data() + position_, done);
    position_ += done;
    return done;
  }

  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    abort.check_and_throw();
    if (bytes > UINT32_MAX - position_) qiv::throw_bad_alloc();
    const std::uint32_t end = position_ + bytes;
    if (end > bytes_.get_count()) bytes_.resize_hysteresis(end);
    if (bytes) std::memmove(bytes_.data() + position_, buffer, bytes);
    position_ = end;
  }

private:
  qiv::byte_array bytes_;
  std::uint32_t position_ = 0;
};

}  // namespace

file_ptr make_memory_file() { return file_ptr(new service_counted<memory_file>()); }

}  // namespace vantrel_io
