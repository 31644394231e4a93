// The reading and writing faces through which every EBML element of a
// Matroska file is read and edited. The reader keeps the number of bytes left
// in the element being read (or in the whole file at the top level), so that
// no read, skip or entered child can pass the end of its parent.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace Matroska {

// Where element headers are written: the file itself or a memory buffer.
class ebml_writer {
public:
  virtual void write(const void* buffer, std::uint32_t count) = 0;

protected:
  ~ebml_writer() = default;
};

class ebml_reader : public ebml_writer {
public:
  // Fewer than `count` bytes left in the scope is exception_io_data.
  virtual void read(void* buffer, std::uint32_t count) = 0;
  virtual void skip(std::uint64_t count) = 0;
  // Fails as read would, without reading: callers check a size from the file
  // before they allocate for it.
  virtual void check_available(std::uint64_t count) = 0;
  virtual std::uint64_t position() = 0;
  bool at_end() const { return remaining_ == 0; }
  // Within the current scope only: a position past its end is exception_io_data.
  virtual void seek(std::uint64_t target) = 0;
  virtual std::uint64_t size() = 0;
  virtual void truncate(std::uint64_t end) = 0;

  std::uint64_t remaining() const { return remaining_; }
  void set_remaining(std::uint64_t count) { remaining_ = count; }

protected:
  ~ebml_reader() = default;
  std::uint64_t remaining_ = ~std::uint64_t{0};
};

// The reader over an open file. Holds the file and the caller's abort signal
// for its lifetime; starts at the beginning with the whole file in scope.
class ebml_file_reader final : public ebml_reader {
public:
  // A file whose size is unknown (a stream) is exception_io_no_length.
  ebml_file_reader(vantrel_io::file_ptr file, const abort_signal& abort);
  ebml_file_reader(const ebml_file_reader&) = delete;
  ebml_file_reader& operator=(const ebml_file_reader&) = delete;

  void read(void* buffer, std::uint32_t count) override;
  void skip(std::uint64_t count) override;
  void check_available(std::uint64_t count) override;
  std::uint64_t position() override;
  void seek(std::uint64_t target) override;
  std::uint64_t size() override;
  void truncate(std::uint64_t end) override;
  // Lowers the bytes left by what was written, never below 0.
  void write(const void* buffer, std::uint32_t count) override;

  vantrel_io::file_object& file() { return *file_; }
  const abort_signal& abort() const { return abort_; }

private:
  vantrel_io::file_ptr file_;
  const abort_signal& abort_;
};

}  // namespace Matroska
