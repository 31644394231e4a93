#include "io/read_ahead_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/array.h"
#include "foundation/win32_handles.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

constexpr std::uint32_t first_chunk = 4096;
constexpr std::uint32_t local_max_chunk = 262144;
// Where the inner file stands after a failed inner call: it may have moved
// part of the way, so the next transfer seeks it first.
constexpr std::uint64_t position_unknown = ~std::uint64_t(0);

// Buffers of files that are done, kept for the next ones: a library scan
// opens thousands of files in a row, and under Wine every block of this size
// taken from the process heap walks a free list that grows with the heap.
class parked_buffers {
public:
  parked_buffers() { buffers_.reserve(max_parked); }

  void take(qiv::byte_array& out) noexcept {
    critical_section_lock hold(lock_);
    if (buffers_.empty()) return;
    out = std::move(buffers_.back());
    buffers_.pop_back();
  }
  void park(qiv::byte_array& buffer) noexcept {
    if (buffer.get_allocated() == 0 || buffer.get_allocated() > max_parked_size) return;
    critical_section_lock hold(lock_);
    if (buffers_.size() < max_parked) buffers_.push_back(std::move(buffer));
  }

private:
  static constexpr std::size_t max_parked = 8;
  static constexpr std::uint32_t max_parked_size = local_max_chunk;
  critical_section lock_;
  std::vector<qiv::byte_array> buffers_;
};

parked_buffers& parked() {
  static parked_buffers instance;
  return instance;
}

class read_ahead_file_impl : public read_ahead_file {
public:
  read_ahead_file_impl(file_ptr inner, std::uint32_t max_chunk, const abort_signal& abort)
      : inner_(std::move(inner)), can_seek_(inner_->can_seek()), max_chunk_(max_chunk) {
    parked().take(buffer_);
    reset(abort);
  }
  ~read_ahead_file_impl() { parked().park(buffer_); }

  std::uint64_t get_size(const abort_signal& abort) override {
    abort.check_and_throw();
    return size_;
  }

  std::uint64_t get_position(const abort_signal& abort) override {
    abort.check_and_throw();
    return position_;
  }

  void resize(std::uint64_t size, const abort_signal& abort) override {
    abort.check_and_throw();
    empty_buffer();
    inner_position_ = position_unknown;
    inner_->resize(size, abort);
    size_ = size;
    position_ = std::min(position_, size);
    inner_position_ = inner_->get_position(abort);
  }

  void seek(std::uint64_t position, const abort_signal& abort) override {
    abort.check_and_throw();
    if (!can_seek_) throw_exception_io_object_not_seekable();
    if (size_ != filesize_unknown && position > size_) throw_io_seek_out_of_range();
    // The buffer holds the bytes [position_ - offset_, position_ - offset_ + filled_).
    const std::uint64_t buffer_start = position_ - offset_;
    if (filled_ != 0 && position >= buffer_start && position - buffer_start <= filled_) {
      offset_ = static_cast<std::uint32_t>(position - buffer_start);
    } else {
      empty_buffer();
    }
    position_ = position;
  }

  bool can_seek() override { return can_seek_; }
  bool get_mime_type(qiv::string_object& out) override { return inner_->get_mime_type(out); }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { inner_->check_abort(abort); }
  std::uint64_t get_timestamp(const abort_signal& abort) override { return inner_->get_timestamp(abort); }
  bool is_remote() override { return inner_->is_remote(); }

  void rewind(const abort_signal& abort) override {
    if (can_seek_) {
      seek(0, abort);
    } else {
      inner_->rewind(abort);
      reset(abort);
    }
  }

  std::uint32_t get_max_chunk() override { return max_chunk_; }
  void raise_max_chunk(std::uint32_t bytes) override { max_chunk_ = std::max(max_chunk_, bytes); }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    std::uint8_t* target = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = take_from_buffer(target, bytes);
    while (done < bytes) {
      abort.check_and_throw();
      // What is left of a request of a whole chunk or more, the next chunk
      // or the largest, would only pass through the buffer, in several
      // transfers: it is read straight into the caller's memory in one.
      if (bytes - done >= std::min(next_chunk(), max_chunk_) && bytes - done >= first_chunk)
        return done + read_past_buffer(target + done, bytes - done, abort);
      if (!refill(abort)) break;
      done += take_from_buffer(target + done, bytes - done);
    }
    return done;
  }

  void flush(const abort_signal& abort) override { inner_->flush(abort); }

  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    abort.check_and_throw();
    // Emptied first: even a write that fails half-way may have changed bytes
    // the buffer holds.
    empty_buffer();
    move_inner_to_position(abort);
    inner_position_ = position_unknown;
    inner_->write(buffer, bytes, abort);
    position_ += bytes;
    inner_position_ = position_;
    if (size_ != filesize_unknown) size_ = std::max(size_, position_);
  }

private:
  void reset(const abort_signal& abort) {
    // The wrapper continues where the inner file stands, so a caller that
    // wraps a file it has already positioned reads and writes on from there.
    inner_position_ = can_seek_ ? inner_->get_position(abort) : 0;
    position_ = inner_position_;
    size_ = inner_->get_size(abort);
    empty_buffer();
  }

  void empty_buffer() noexcept {
    filled_ = offset_ = 0;
    chunk_ = 0;
  }

  std::uint32_t take_from_buffer(std::uint8_t* target, std::uint32_t wanted) noexcept {
    const std::uint32_t taken = std::min(wanted, filled_ - offset_);
    if (taken) std::memcpy(target, buffer_.data() + offset_, taken);
    offset_ += taken;
    position_ += taken;
    return taken;
  }

  void move_inner_to_position(const abort_signal& abort) {
    if (inner_position_ == position_) return;
    inner_position_ = position_unknown;
    inner_->seek(position_, abort);
    inner_position_ = position_;
  }

  // Reads the next chunk at the logical position; false at the end of the data.
  std::uint32_t next_chunk() const noexcept { return std::max(first_chunk, std::min(chunk_ * 2, max_chunk_)); }

  bool refill(const abort_signal& abort) {
    const std::uint32_t chunk = next_chunk();
    filled_ = offset_ = 0;
    move_inner_to_position(abort);
    if (chunk > buffer_.get_count()) buffer_.resize_doubling(chunk);
    chunk_ = chunk;
    inner_position_ = position_unknown;
    const std::uint32_t got = inner_->read(buffer_.data(), chunk, abort);
    inner_position_ = position_ + got;
    filled_ = got;
    return got != 0;
  }

  // The buffer is empty here and stays so; the transfer counts as a chunk,
  // so that a reader asking for pieces of one size soon gets them from the
  // buffer again, in chunks that go on growing.
  std::uint32_t read_past_buffer(std::uint8_t* target, std::uint32_t bytes, const abort_signal& abort) {
    chunk_ = next_chunk();
    filled_ = offset_ = 0;
    move_inner_to_position(abort);
    inner_position_ = position_unknown;
    const std::uint32_t got = inner_->read(target, bytes, abort);
    position_ += got;
    inner_position_ = position_;
    return got;
  }

  file_ptr inner_;
  std::uint64_t position_ = 0;
  std::uint64_t inner_position_ = 0;
  std::uint64_t size_ = filesize_unknown;
  const bool can_seek_;
  qiv::byte_array buffer_;
  std::uint32_t filled_ = 0;
  std::uint32_t offset_ = 0;
  std::uint32_t max_chunk_;
  std::uint32_t chunk_ = 0;
};

}  // namespace

void read_ahead_file::create(file_ptr& out, file_ptr inner, std::uint32_t max_chunk, const abort_signal& abort) {
  if (inner->is_memory_backed()) {
    out = std::move(inner);
    return;
  }
  if (service_ptr<read_ahead_file> buffered = service_query<read_ahead_file>(inner.get())) {
    buffered->raise_max_chunk(max_chunk);
    out = std::move(inner);
    return;
  }
  out = new service_counted<read_ahead_file_impl>(std::move(inner), max_chunk, abort);
}

void read_ahead_file::wrap(file_ptr& file, std::uint32_t max_chunk, const abort_signal& abort) {
  create(file, file, max_chunk, abort);
}

void read_ahead_file::wrap_if_local(file_ptr& file, const abort_signal& abort) {
  if (!file->is_remote() && file->can_seek()) wrap(file, local_max_chunk, abort);
}

}  // namespace vantrel_io
