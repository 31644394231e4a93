// A fixed buffer in front of a reading or writing stream, so that a reader
// of many small records (the library file, a tag parser) costs few calls on
// the stream below.
#pragma once

#include <cstdint>
#include <memory>

#include "io/file_object.h"

class buffered_reader final : public vantrel_io::reader {
public:
  // `buffer_size` must be at least 1.
  buffered_reader(vantrel_io::reader& source, std::uint32_t buffer_size);

  // Answers fewer than `bytes` only when the source reached its end.
  std::uint32_t read(void* destination, std::uint32_t bytes, const abort_signal& abort) override;

private:
  vantrel_io::reader& source_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint32_t size_;
  std::uint32_t position_ = 0;
  std::uint32_t fill_ = 0;
};

class buffered_writer final : public vantrel_io::writer {
public:
  // `buffer_size` must be at least 1. Bytes still held at the end are not
  // written by the destructor (that could throw): call flush.
  buffered_writer(vantrel_io::writer& target, std::uint32_t buffer_size);

  void write(const void* source, std::uint32_t bytes, const abort_signal& abort) override;
  void flush(const abort_signal& abort);

private:
  vantrel_io::writer& target_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint32_t size_;
  std::uint32_t fill_ = 0;
};
