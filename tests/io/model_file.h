// A file object over a byte string, for tests of code that works on any file
// and of the wrappers: it records its reads and its changes, can hide its
// size, refuse to seek or pretend to be remote, and can fail at a chosen
// moment.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "io/file_object.h"
#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"

namespace io_test {

struct read_call {
  std::uint64_t position;
  std::uint32_t asked, got;
  bool operator==(const read_call&) const = default;
};

// A change as the disk receives it: the bytes a write stored at `position`,
// a resize to `position`, or a flush.
struct change_call {
  enum { write, resize, flush } kind;
  std::uint64_t position;
  std::string bytes;
};

class model_file : public vantrel_io::file_object {
public:
  std::string bytes;
  std::uint64_t position = 0;
  bool seekable = true, size_known = true, remote = false;
  std::vector<read_call> reads;
  std::vector<change_call> changes;
  int rewinds = 0;
  // Reads, writes, seeks and resizes are counted as steps; step number
  // fail_at_step fails before it does anything, as a vanished disk would.
  int steps = 0, fail_at_step = 0;
  // A write stores this many of its bytes, then fails as a full disk would.
  std::uint64_t fail_write_after = ~std::uint64_t(0);
  // The most the disk holds of this file: growing past it fails as a full
  // disk does, a resize with nothing changed, a write after what fits.
  std::uint64_t capacity = ~std::uint64_t(0);
  // Stops for a raised abort signal before every write, as files on disk do.
  bool checks_abort = false;
  // Called before every read and write with the byte count; may throw.
  std::function<void(std::uint32_t bytes)> before_read, before_write;

  std::uint64_t get_size(const abort_signal&) override { return size_known ? bytes.size() : vantrel_io::filesize_unknown; }
  std::uint64_t get_position(const abort_signal&) override { return position; }
  void resize(std::uint64_t size, const abort_signal&) override {
    step();
    if (size > capacity && size > bytes.size()) throw vantrel_io::exception_io_device_full();
    bytes.resize(static_cast<std::size_t>(size));
    changes.push_back({change_call::resize, size, {}});
    position = std::min(position, size);
  }
  void flush(const abort_signal&) override { changes.push_back({change_call::flush, 0, {}}); }
  void seek(std::uint64_t target, const abort_signal&) override {
    step();
    if (!seekable) vantrel_io::throw_exception_io_object_not_seekable();
    if (target > bytes.size()) vantrel_io::throw_io_seek_out_of_range();
    position = target;
  }
  bool can_seek() override { return seekable; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { abort.check_and_throw(); }
  std::uint64_t get_timestamp(const abort_signal&) override { return 1234; }
  // A stream that cannot seek can still be opened again from its start.
  void rewind(const abort_signal&) override { ++rewinds; position = 0; }
  bool is_remote() override { return remote; }

  std::uint32_t read(void* buffer, std::uint32_t count, const abort_signal&) override {
    step();
    if (before_read) before_read(count);
    const std::uint64_t available = position < bytes.size() ? bytes.size() - position : 0;
    const std::uint32_t got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
    std::memcpy(buffer, bytes.data() + position, got);
    reads.push_back({position, count, got});
    position += got;
    return got;
  }
  void write(const void* buffer, std::uint32_t count, const abort_signal& abort) override {
    if (checks_abort) abort.check_and_throw();
    step();
    if (before_write) before_write(count);
    const std::uint64_t room = std::max<std::uint64_t>(capacity, bytes.size());
    const std::uint64_t fits = position < room ? room - position : 0;
    const std::uint32_t stored = static_cast<std::uint32_t>(std::min({std::uint64_t(count), fail_write_after, fits}));
    if (position + stored > bytes.size()) bytes.resize(static_cast<std::size_t>(position + stored));
    std::memcpy(bytes.data() + position, buffer, stored);
    changes.push_back({change_call::write, position, std::string(static_cast<const char*>(buffer), stored)});
    position += stored;
    if (stored < count) throw vantrel_io::exception_io_device_full();
  }

private:
  void step() {
    if (++steps == fail_at_step) vantrel_io::throw_exception_io_from_win32(ERROR_DEV_NOT_EXIST);
  }
};

// What the disk holds of a file that held `original` after a power cut
// during `changes`: every change up to the last flush before change `kept`
// and, of those after that flush, `kept` alone, since a disk may put
// unflushed writes down in any order. A write past the end leaves zeros
// before it.
inline std::string disk_after_power_cut(std::string original, const std::vector<change_call>& changes,
                                        std::size_t kept) {
  std::size_t on_disk = 0;  // the changes before the last flush
  for (std::size_t i = 0; i < kept; ++i)
    if (changes[i].kind == change_call::flush) on_disk = i;
  for (std::size_t i = 0; i <= kept; ++i) {
    const change_call& change = changes[i];
    if (i < kept && i >= on_disk) continue;
    if (change.kind == change_call::resize) original.resize(static_cast<std::size_t>(change.position));
    if (change.kind != change_call::write) continue;
    const std::size_t at = static_cast<std::size_t>(change.position);
    if (original.size() < at + change.bytes.size()) original.resize(at + change.bytes.size());
    original.replace(at, change.bytes.size(), change.bytes);
  }
  return original;
}

// A new counted model file holding `content`.
inline service_ptr<model_file> make_model_file(const std::string& content = "") {
  service_ptr<model_file> file(new service_counted<model_file>());
  file->bytes = content;
  return file;
}

// Hands a tag writer a model file for its whole new file, kept for the test
// to read; or, when it `offers` none, stands for a folder where no
// temporary file can be made. Counts how often it is asked.
class model_temp_source final : public retag_temp_source {
public:
  explicit model_temp_source(bool offers = true) : offers_(offers) {}
  bool open_temp(vantrel_io::file_ptr& out, const abort_signal&) override {
    ++asked;
    if (!offers_) return false;
    made = make_model_file();
    out = made.get();
    return true;
  }
  service_ptr<model_file> made;
  int asked = 0;

private:
  const bool offers_;
};

}  // namespace io_test
