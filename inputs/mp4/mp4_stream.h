// The byte stream the MP4 library reads and writes through: a file, one box
// of a file, or bytes in memory. Parsers only ever see this interface, so a
// box parser cannot tell (and need not care) where its bytes come from.
#pragma once

#include <cstdint>

namespace tarnex {

// A size with all bits set: the stream's length is not known.
inline constexpr std::uint64_t unknown_size = ~std::uint64_t(0);

class stream {
public:
  virtual ~stream() = default;

  // Fewer bytes than asked only at the end of the data.
  virtual std::uint32_t read(void* buffer, std::uint32_t bytes) = 0;
  // A short read is exception_truncation.
  virtual void read_exact(void* buffer, std::uint32_t bytes);
  // Answers the bytes skipped; the base version seeks, stopping at the end.
  virtual std::uint64_t skip(std::uint64_t bytes);
  // A short skip is exception_truncation.
  virtual void skip_exact(std::uint64_t bytes);
  // Throws exception_truncation when fewer than `bytes` remain; streams that
  // cannot tell accept anything. Parsers call it before allocating for a
  // count read from the file.
  virtual void check_remaining(std::uint64_t bytes);

  virtual std::uint64_t position() = 0;
  virtual void seek(std::uint64_t position) = 0;
  // unknown_size when the length is absent.
  virtual std::uint64_t size() = 0;
  virtual void truncate(std::uint64_t size) = 0;
  virtual void write(const void* buffer, std::uint32_t bytes) = 0;
  // Puts every byte written so far on the disk before any written later
  // (file_object::flush); streams in memory have nothing to do.
  virtual void flush() {}
  // A change readers see: the bytes at `at` become `bytes`. A file that
  // readers may open meanwhile takes it through the file layer's guarded
  // overwrite (one write within one page, else refused before anything is
  // written); here, as a plain write.
  virtual void overwrite(std::uint64_t at, const void* bytes, std::uint32_t size);
};

}  // namespace tarnex
