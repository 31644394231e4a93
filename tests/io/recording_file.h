// A file object for the wrappers' tests: a memory file that does not say so
// (so wrappers do wrap it), that can pretend to be a remote stream without
// seeking, records every read it serves, and can be made to fail or to raise
// an abort signal at a chosen moment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/file_object.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"

namespace io_test {

struct read_call {
  std::uint64_t position;
  std::uint32_t asked;
  std::uint32_t got;
};

class recording_file : public vantrel_io::file_object {
public:
  recording_file() : inner_(vantrel_io::make_memory_file()) {}

  // Test controls.
  bool seekable = true;
  bool remote = false;
  bool size_known = true;
  std::vector<read_call> reads;
  int rewinds = 0;
  // A write stores this many of its bytes, then fails as a full disk would.
  std::uint64_t fail_write_after = ~std::uint64_t(0);
  // Called before every read and write with the byte count.
  std::function<void(std::uint32_t bytes)> before_read, before_write;

  void set_content(const std::string& bytes) {
    const abort_signal& none = never_raised_abort_signal();
    inner_->resize(0, none);
    inner_->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), none);
    inner_->seek(0, none);
  }
  std::string content() {
    const abort_signal& none = never_raised_abort_signal();
    const std::uint64_t position = inner_->get_position(none);
    std::string bytes(static_cast<std::size_t>(inner_->get_size(none)), '\0');
    inner_->seek(0, none);
    inner_->read(bytes.data(), static_cast<std::uint32_t>(bytes.size()), none);
    inner_->seek(position, none);
    return bytes;
  }

  std::uint64_t get_size(const abort_signal& abort) override {
    return size_known ? inner_->get_size(abort) : vantrel_io::filesize_unknown;
  }
  std::uint64_t get_position(const abort_signal& abort) override { return inner_->get_position(abort); }
  void resize(std::uint64_t size, const abort_signal& abort) override { inner_->resize(size, abort); }
  void seek(std::uint64_t position, const abort_signal& abort) override {
    if (!seekable) vantrel_io::throw_exception_io_object_not_seekable();
    inner_->seek(position, abort);
  }
  bool can_seek() override { return seekable; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { abort.check_and_throw(); }
  std::uint64_t get_timestamp(const abort_signal&) override { return 0; }
  void rewind(const abort_signal& abort) override {
    ++rewinds;
    inner_->seek(0, abort);
  }
  bool is_remote() override { return remote; }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    if (before_read) before_read(bytes);
    const std::uint64_t position = inner_->get_position(abort);
    const std::uint32_t got = inner_->read(buffer, bytes, abort);
    reads.push_back({position, bytes, got});
    return got;
  }

  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    if (before_write) before_write(bytes);
    if (bytes > fail_write_after) {
      inner_->write(buffer, static_cast<std::uint32_t>(fail_write_after), abort);
      throw vantrel_io::exception_io_device_full();
    }
    inner_->write(buffer, bytes, abort);
  }

private:
  vantrel_io::file_ptr inner_;
};

// A new recording file with its first reference held by the caller.
inline service_ptr<recording_file> make_recording_file(const std::string& content = "") {
  service_ptr<recording_file> file(new service_counted<recording_file>());
  file->set_content(content);
  return file;
}

}  // namespace io_test
