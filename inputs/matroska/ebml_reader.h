// The reading and writing faces through which every EBML element of a
// Matroska file is read and edited. The reader keeps the number of bytes left
// in the element being read (or in the whole file at the top level), so that
// no read, skip or entered child can pass the end of its parent.
#pragma once

#include <cstdint>

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

// One byte, as read would read it.
inline std::uint8_t read_byte(ebml_reader& reader) {
  std::uint8_t byte;
  reader.read(&byte, 1);
  return byte;
}

}  // namespace Matroska
