#include "inputs/matroska/ebml_file_reader.h"

#include "io/io_exceptions.h"

namespace Matroska {

ebml_file_reader::ebml_file_reader(vantrel_io::file_ptr file, const abort_signal& abort)
    : file_(std::move(file)), abort_(abort) {
  file_->rewind(abort_);
  remaining_ = size();
}

void ebml_file_reader::read(void* buffer, std::uint32_t count) {
  check_available(count);
  file_->read_exact(buffer, count, abort_);
  remaining_ -= count;
}

void ebml_file_reader::skip(std::uint64_t count) {
  check_available(count);
  file_->skip_exact(count, abort_);
  remaining_ -= count;
}

void ebml_file_reader::check_available(std::uint64_t count) {
  if (count > remaining_) vantrel_io::throw_io_data();
}

std::uint64_t ebml_file_reader::position() { return file_->get_position(abort_); }

void ebml_file_reader::seek(std::uint64_t target) {
  const std::uint64_t end = position() + remaining_;
  if (target > end) vantrel_io::throw_io_data();
  file_->seek(target, abort_);
  remaining_ = end - target;
}

std::uint64_t ebml_file_reader::size() {
  const std::uint64_t bytes = file_->get_size(abort_);
  if (bytes == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  return bytes;
}

void ebml_file_reader::truncate(std::uint64_t end) {
  file_->resize(end, abort_);
  // A cut before the position leaves the file's position at the new end.
  const std::uint64_t at = position();
  remaining_ = end > at ? end - at : 0;
}

void ebml_file_reader::write(const void* buffer, std::uint32_t count) {
  file_->write(buffer, count, abort_);
  remaining_ = remaining_ > count ? remaining_ - count : 0;
}

}  // namespace Matroska
