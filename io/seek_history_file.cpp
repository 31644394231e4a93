#include "io/seek_history_file.h"

#include <algorithm>
#include <cstring>

#include "foundation/array.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

// Steps in which skipped bytes are read from the stream into the history.
constexpr std::uint32_t step = 1024;

class seek_history_impl : public file_object {
public:
  explicit seek_history_impl(file_ptr inner) : inner_(std::move(inner)) {
    size_ = inner_->get_size(never_raised_abort_signal());
    history_.set_size(seek_history_file::history_capacity);
  }

  std::uint64_t get_size(const abort_signal& abort) override {
    abort.check_and_throw();
    return size_;
  }

  std::uint64_t get_position(const abort_signal& abort) override {
    abort.check_and_throw();
    return position_;
  }

  void resize(std::uint64_t, const abort_signal&) override { throw_io_denied(); }
  void write(const void*, std::uint32_t, const abort_signal&) override { throw_io_denied(); }

  void seek(std::uint64_t position, const abort_signal& abort) override {
    abort.check_and_throw();
    if (size_ != filesize_unknown && position > size_) throw_io_seek_out_of_range();
    if (position < inner_position_ - held_) {
      // Before the oldest byte held: start over from a point the stream can
      // reach, and let the next read come forward from there.
      held_ = write_offset_ = 0;
      if (inner_->can_seek()) {
        const std::uint64_t start = position - std::min<std::uint64_t>(position, std::min(capacity(), step));
        inner_->seek(start, abort);
        inner_position_ = start;
      } else {
        inner_->rewind(abort);
        inner_position_ = 0;
      }
    }
    position_ = position;
  }

  bool can_seek() override { return true; }
  bool get_mime_type(qiv::string_object& out) override { return inner_->get_mime_type(out); }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { inner_->check_abort(abort); }
  std::uint64_t get_timestamp(const abort_signal& abort) override { return inner_->get_timestamp(abort); }
  bool is_remote() override { return inner_->is_remote(); }

  void rewind(const abort_signal& abort) override {
    if (inner_position_ == held_) {
      seek(0, abort);  // the history still reaches back to byte 0
      return;
    }
    abort.check_and_throw();
    inner_->rewind(abort);
    position_ = inner_position_ = 0;
    held_ = write_offset_ = 0;
  }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    abort.check_and_throw();
    std::uint8_t* target = static_cast<std::uint8_t*>(buffer);
    if (position_ > inner_position_ + std::max(capacity(), step) && inner_->can_seek()) {
      held_ = write_offset_ = 0;
      const std::uint64_t start = position_ - std::min<std::uint64_t>(position_, step);
      inner_->seek(start, abort);
      inner_position_ = start;
    }
    // Forward to the logical position, keeping what is passed over.
    while (position_ > inner_position_) {
      std::uint8_t scratch[step];
      const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(position_ - inner_position_, step));
      const std::uint32_t got = inner_->read(scratch, want, abort);
      append(scratch, got);
      inner_position_ += got;
      if (got < want) return 0;
    }
    std::uint32_t done = 0;
    if (position_ < inner_position_) {
      const std::uint64_t back = inner_position_ - position_;
      if (back > held_) throw_io_seek_out_of_range();
      done = static_cast<std::uint32_t>(std::min<std::uint64_t>(back, bytes));
      copy_from_history(target, static_cast<std::uint32_t>(back), done);
      position_ += done;
    }
    if (done < bytes) {
      const std::uint32_t got = inner_->read(target + done, bytes - done, abort);
      append(target + done, got);
      inner_position_ += got;
      position_ += got;
      done += got;
    }
    return done;
  }

private:
  static std::uint32_t capacity() { return seek_history_file::history_capacity; }

  // Keeps the newest `capacity` bytes; older ones are overwritten in turn.
  void append(const std::uint8_t* bytes, std::uint32_t count) noexcept {
    if (count > capacity()) {
      bytes += count - capacity();
      count = capacity();
    }
    const std::uint32_t first = std::min(count, capacity() - write_offset_);
    std::memcpy(history_.data() + write_offset_, bytes, first);
    std::memcpy(history_.data(), bytes + first, count - first);
    held_ = std::min(held_ + count, capacity());
    write_offset_ = (write_offset_ + count) % capacity();
  }

  // `count` bytes starting `back` bytes before the end of the history.
  void copy_from_history(std::uint8_t* target, std::uint32_t back, std::uint32_t count) const noexcept {
    const std::uint32_t start = (write_offset_ + capacity() - back) % capacity();
    const std::uint32_t first = std::min(count, capacity() - start);
    std::memcpy(target, history_.data() + start, first);
    std::memcpy(target + first, history_.data(), count - first);
  }

  file_ptr inner_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::uint64_t inner_position_ = 0;
  qiv::byte_array history_;
  std::uint32_t held_ = 0;
  std::uint32_t write_offset_ = 0;
};

}  // namespace

void seek_history_file::wrap_if_remote(file_ptr& file) {
  if (file->is_remote()) file = new service_counted<seek_history_impl>(file);
}

}  // namespace vantrel_io
