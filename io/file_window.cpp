#include "io/file_window.h"

#include <algorithm>

#include "foundation/exceptions.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

class file_window : public file_object {
public:
  file_window(const file_ptr& inner, std::uint64_t start, std::uint64_t end) : inner_(inner), start_(start), end_(end) {}

  std::uint64_t get_size(const abort_signal&) override { return end_ - start_; }

  std::uint64_t get_position(const abort_signal& abort) override { return inner_position(abort) - start_; }

  void resize(std::uint64_t, const abort_signal&) override { throw_io_denied(); }

  void seek(std::uint64_t position, const abort_signal& abort) override {
    // A position that wraps past 2^64 would land before the window.
    if (position > ~std::uint64_t(0) - start_) throw_io_seek_out_of_range();
    inner_->seek(start_ + position, abort);
  }

  bool can_seek() override { return inner_->can_seek(); }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal&) override {}
  std::uint64_t get_timestamp(const abort_signal& abort) override { return inner_->get_timestamp(abort); }
  bool is_remote() override { return inner_->is_remote(); }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    const std::uint64_t position = inner_position(abort);
    if (position >= end_) return 0;
    const std::uint32_t allowed = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, end_ - position));
    return inner_->read(buffer, allowed, abort);
  }

  void write(const void*, std::uint32_t, const abort_signal&) override { throw_io_denied(); }

private:
  // The inner file is shared: someone may have moved it before the window's
  // start, and reading from there would show bytes outside the window.
  std::uint64_t inner_position(const abort_signal& abort) {
    const std::uint64_t position = inner_->get_position(abort);
    if (position < start_) throw_io_seek_out_of_range();
    return position;
  }

  const file_ptr inner_;
  const std::uint64_t start_;
  const std::uint64_t end_;
};

}  // namespace

void open_file_window(file_ptr& out, const file_ptr& inner, std::uint64_t start, std::uint64_t length,
                      const abort_signal& abort) {
  if (length > ~std::uint64_t(0) - start) qiv::throw_overflow();
  inner->seek(start, abort);
  out = new service_counted<file_window>(inner, start, start + length);
}

}  // namespace vantrel_io
