// A file object over a byte string, for tests of code that works on any file:
// it records the calls made to it and can be told to fail or to hide its
// size, so that tests see what the code under test asked of the file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "io/file_object.h"
#include "io/io_exceptions.h"

namespace io_test {

class model_file : public vantrel_io::file_object {
public:
  std::string bytes;
  std::uint64_t position = 0;
  bool seekable = true;
  bool size_known = true;
  std::vector<std::uint32_t> read_requests;  // bytes asked by each read
  std::vector<std::uint64_t> resizes;
  int seeks = 0;
  // Called before each read with the bytes read so far; may throw.
  std::function<void(std::uint64_t)> before_read;
  std::uint64_t bytes_read = 0;

  std::uint64_t get_size(const abort_signal&) override {
    return size_known ? bytes.size() : vantrel_io::filesize_unknown;
  }
  std::uint64_t get_position(const abort_signal&) override { return position; }
  void resize(std::uint64_t size, const abort_signal&) override {
    resizes.push_back(size);
    bytes.resize(static_cast<std::size_t>(size));
    position = std::min(position, size);
  }
  void seek(std::uint64_t target, const abort_signal&) override {
    if (!seekable) vantrel_io::throw_exception_io_object_not_seekable();
    if (target > bytes.size()) vantrel_io::throw_io_seek_out_of_range();
    ++seeks;
    position = target;
  }
  bool can_seek() override { return seekable; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { abort.check_and_throw(); }
  std::uint64_t get_timestamp(const abort_signal&) override { return 1234; }
  bool is_remote() override { return false; }

  std::uint32_t read(void* buffer, std::uint32_t count, const abort_signal&) override {
    read_requests.push_back(count);
    if (before_read) before_read(bytes_read);
    const std::uint64_t available = position < bytes.size() ? bytes.size() - position : 0;
    const std::uint32_t got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
    std::memcpy(buffer, bytes.data() + position, got);
    position += got;
    bytes_read += got;
    return got;
  }
  void write(const void* buffer, std::uint32_t count, const abort_signal&) override {
    if (position + count > bytes.size()) bytes.resize(static_cast<std::size_t>(position + count));
    std::memcpy(bytes.data() + position, buffer, count);
    position += count;
  }
};

// A new counted model file holding `content`.
inline service_ptr<model_file> make_model_file(const std::string& content) {
  service_ptr<model_file> file(new service_counted<model_file>());
  file->bytes = content;
  return file;
}

}  // namespace io_test
