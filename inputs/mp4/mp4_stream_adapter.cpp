#include "inputs/mp4/mp4_stream_adapter.h"

#include "inputs/mp4/tarnex_exceptions.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"

namespace tarnex {

namespace {
// Shorter skips are cheaper as reads than as a seek on most file objects.
constexpr std::uint64_t seek_skip_threshold = 256;
}  // namespace

mp4_stream_adapter::mp4_stream_adapter(vantrel_io::file_ptr file, const abort_signal& abort, file_readers readers)
    : file_(std::move(file)), abort_(abort), readers_(readers) {}

std::uint32_t mp4_stream_adapter::read(void* buffer, std::uint32_t bytes) { return file_->read(buffer, bytes, abort_); }

void mp4_stream_adapter::read_exact(void* buffer, std::uint32_t bytes) {
  if (file_->read(buffer, bytes, abort_) != bytes) throw exception_truncation();
}

std::uint64_t mp4_stream_adapter::skip(std::uint64_t bytes) {
  if ((bytes > seek_skip_threshold || bytes > 0xFFFFFFFFu) && file_->can_seek()) {
    const std::uint64_t end = file_->get_size(abort_);
    if (end != vantrel_io::filesize_unknown) {
      const std::uint64_t at = file_->get_position(abort_);
      if (end < at) vantrel_io::throw_io_data();
      if (bytes > end - at) bytes = end - at;
      file_->seek(at + bytes, abort_);
      return bytes;
    }
  }
  return file_->skip(bytes, abort_);
}

void mp4_stream_adapter::check_remaining(std::uint64_t bytes) {
  if (file_->get_remaining(abort_) < bytes) throw exception_truncation();
}

std::uint64_t mp4_stream_adapter::position() { return file_->get_position(abort_); }

void mp4_stream_adapter::seek(std::uint64_t target) {
  if (file_->can_seek()) {
    file_->seek(target, abort_);
    return;
  }
  const std::uint64_t at = file_->get_position(abort_);
  if (target < at) throw exception("stream seeking error");
  if (target > at) skip_exact(target - at);
}

std::uint64_t mp4_stream_adapter::size() { return file_->get_size(abort_); }

void mp4_stream_adapter::truncate(std::uint64_t new_size) { file_->resize(new_size, abort_); }

void mp4_stream_adapter::write(const void* buffer, std::uint32_t bytes) { file_->write(buffer, bytes, abort_); }

void mp4_stream_adapter::flush() {
  if (readers_ == file_readers::meanwhile) file_->flush(abort_);
}

// Bytes past the end are staged, not changed; a file in memory has no
// reader to see it half written.
void mp4_stream_adapter::overwrite(std::uint64_t at, const void* bytes, std::uint32_t size) {
  if (readers_ == file_readers::after_replacement || file_->is_memory_backed() || at + size > this->size()) {
    stream::overwrite(at, bytes, size);
    return;
  }
  vantrel_io::overwrite_changed_bytes(*file_, at, static_cast<const std::uint8_t*>(bytes), size, abort_);
}

}  // namespace tarnex
