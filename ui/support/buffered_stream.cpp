#include "ui/support/buffered_stream.h"

#include <algorithm>
#include <cstring>

buffered_reader::buffered_reader(vantrel_io::reader& source, std::uint32_t buffer_size)
    : source_(source), buffer_(new std::uint8_t[std::max<std::uint32_t>(buffer_size, 1)]),
      size_(std::max<std::uint32_t>(buffer_size, 1)) {}

std::uint32_t buffered_reader::read(void* destination, std::uint32_t bytes, const abort_signal& abort) {
  abort.check_and_throw();
  auto* out = static_cast<std::uint8_t*>(destination);
  std::uint32_t done = 0;
  while (done < bytes) {
    if (position_ == fill_) {
      fill_ = source_.read(buffer_.get(), size_, abort);
      position_ = 0;
      if (fill_ == 0) return done;
    }
    const std::uint32_t take = std::min(fill_ - position_, bytes - done);
    std::memcpy(out + done, buffer_.get() + position_, take);
    position_ += take;
    done += take;
  }
  return bytes;
}

buffered_writer::buffered_writer(vantrel_io::writer& target, std::uint32_t buffer_size)
    : target_(target), buffer_(new std::uint8_t[std::max<std::uint32_t>(buffer_size, 1)]),
      size_(std::max<std::uint32_t>(buffer_size, 1)) {}

void buffered_writer::write(const void* source, std::uint32_t bytes, const abort_signal& abort) {
  abort.check_and_throw();
  auto* in = static_cast<const std::uint8_t*>(source);
  if (bytes >= size_) {
    // A block as large as the buffer goes straight through, after what is
    // pending, so the order of bytes is kept.
    flush(abort);
    target_.write(in, bytes, abort);
    return;
  }
  if (fill_ + bytes >= size_) {
    const std::uint32_t room = size_ - fill_;
    std::memcpy(buffer_.get() + fill_, in, room);
    fill_ = size_;
    flush(abort);
    in += room;
    bytes -= room;
  }
  std::memcpy(buffer_.get() + fill_, in, bytes);
  fill_ += bytes;
}

void buffered_writer::flush(const abort_signal& abort) {
  if (fill_ == 0) return;
  target_.write(buffer_.get(), fill_, abort);
  fill_ = 0;
}
