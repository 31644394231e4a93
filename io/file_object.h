// Open files. Every byte the system reads from or writes to a file passes
// through a file_object, whatever serves it (a native file, a temporary file,
// memory, a window onto a larger file, a buffering wrapper). A file object is
// counted: closing is releasing the last reference.
//
// One object shows three views: the primary one (size, position, seeking),
// the reader and the writer. They share the one object and its count, so a
// holder of a file_ptr reaches all three.
//
// Every operation that may block takes the caller's abort_signal and fails
// with exception_aborted ("User abort") when it is raised.
//
// Implementations derive from file_object and are created counted:
//   file_ptr file = new service_counted<my_file>(...);
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "core/io_exception_base.h"
#include "core/service_factory.h"
#include "core/service_object.h"
#include "foundation/string_object.h"

namespace vantrel_io {

// A size with all bits set: the object does not know its size (a stream).
inline constexpr std::uint64_t filesize_unknown = ~std::uint64_t(0);
// A FILETIME of 0: no time is known.
inline constexpr std::uint64_t filetime_unknown = 0;

struct file_stats {
  std::uint64_t size = filesize_unknown;
  std::uint64_t timestamp = filetime_unknown;  // last write, FILETIME units
};

// The mode of every open. Other values are refused with "Invalid parameters".
enum class open_mode : std::uint32_t {
  read = 0,            // an existing file, shared for reading only
  write_existing = 1,  // an existing file, read and write, not shared
  write_new = 2,       // created or truncated, read and write, not shared
};

// The reader view. A single read moves at most 2^32 - 1 bytes.
class reader {
public:
  // Answers the bytes read; fewer than asked only at the end of the data.
  virtual std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) = 0;

  // A short read is a damaged or truncated file: exception_io_data.
  void read_exact(void* buffer, std::uint32_t bytes, const abort_signal& abort);

  // Consumes up to `bytes` bytes and answers how many there were. A plain
  // reader reads and drops them; a file that can seek jumps over long runs.
  virtual std::uint64_t skip(std::uint64_t bytes, const abort_signal& abort);

  // skip, with a short count as exception_io_data.
  void skip_exact(std::uint64_t bytes, const abort_signal& abort);

protected:
  ~reader() = default;
};

// The writer view: writes every byte or throws.
class writer {
public:
  virtual void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) = 0;

protected:
  ~writer() = default;
};

class file_object : public service_object, public reader, public writer {
public:
  static constexpr GUID class_guid = {0xB2F9FC40, 0x3E55, 0x4B23, {0xA2, 0xC9, 0x22, 0xBA, 0xAD, 0x87, 0x95, 0xB1}};
  using service_parent = service_object;

  // filesize_unknown for a stream.
  virtual std::uint64_t get_size(const abort_signal& abort) = 0;
  virtual std::uint64_t get_position(const abort_signal& abort) = 0;
  // Sets the end of the file; a position beyond the new end moves to it.
  virtual void resize(std::uint64_t size, const abort_signal& abort) = 0;
  // Absolute seek; the end of the file itself is a valid position.
  virtual void seek(std::uint64_t position, const abort_signal& abort) = 0;
  virtual bool can_seek() = 0;
  // False when the object knows no MIME type of its content.
  virtual bool get_mime_type(qiv::string_object& out) = 0;
  // True when the bytes already live in memory, so buffering them again
  // would only cost.
  virtual bool is_memory_backed() = 0;
  // "User abort" when the signal is raised; some classes ignore it.
  virtual void check_abort(const abort_signal& abort) = 0;
  // Last-write time, filetime_unknown when there is none.
  virtual std::uint64_t get_timestamp(const abort_signal& abort) = 0;
  // Back to the start; wrappers over streams that cannot seek replace it.
  virtual void rewind(const abort_signal& abort) { seek(0, abort); }
  virtual bool is_remote() = 0;
  // Puts what was written so far on the disk before anything written later:
  // a write that makes readers see bytes written before it must not reach
  // the disk ahead of them, or a power cut in between leaves readers
  // pointed at bytes the disk never received. Objects without a disk below
  // them have nothing to do.
  virtual void flush(const abort_signal& abort) { abort.check_and_throw(); }

  // Reading through a file that can seek jumps over long runs instead of
  // reading them.
  std::uint64_t skip(std::uint64_t bytes, const abort_signal& abort) override;

  // Origin 0: from the start, 1: from the position, 2: from the end (an
  // unknown size throws exception_io_no_length); any other origin is
  // exception_io_data, as it comes from a damaged file's field.
  void seek_from_origin(std::int64_t offset, std::uint32_t origin, const abort_signal& abort);

  // The size, then the time stamp.
  file_stats get_stats(const abort_signal& abort);
  // Size minus position; an unknown size throws exception_io_no_length.
  std::uint64_t get_remaining(const abort_signal& abort);
  // Position at or beyond the size; false when the size is unknown.
  bool is_at_end(const abort_signal& abort);
  // Cuts the file to `size` when it is larger (an unknown size counts as
  // larger); a smaller file is left alone.
  void truncate_if_larger(std::uint64_t size, const abort_signal& abort);

protected:
  ~file_object() = default;
};

// A counted reference to an open file.
using file_ptr = service_ptr<file_object>;

}  // namespace vantrel_io
