// The byte streams that configuration items read their values from and write
// them to. The file layer, which sits above the core, supplies the
// implementations (a record of "config.dat" in memory, a memory buffer); items
// and the value types they hold see only these two interfaces.
//
// Numbers are little-endian; GUIDs go field by field, which on this machine
// equals their 16 bytes in memory.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/string_object.h"

// A size that a stream does not know.
inline constexpr std::uint64_t byte_stream_size_unknown = ~std::uint64_t(0);

class byte_stream_reader {
public:
  // Answers the bytes read; fewer than asked only at the end of the data.
  virtual std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) = 0;

  // The bytes still to come, or byte_stream_size_unknown. Counts and lengths
  // read from a file are checked against it before anything is allocated, so
  // a damaged field cannot ask for gigabytes.
  virtual std::uint64_t remaining() const = 0;

  // Reports damaged data with the file layer's own exception
  // (vantrel_io::exception_io_data), which callers catch to skip only the
  // value being read.
  [[noreturn]] virtual void throw_data_error() const = 0;

  // A short read is damaged data.
  void read_exact(void* buffer, std::uint32_t bytes, const abort_signal& abort);
  std::uint32_t read_u32(const abort_signal& abort);
  std::int32_t read_i32(const abort_signal& abort) { return static_cast<std::int32_t>(read_u32(abort)); }
  GUID read_guid(const abort_signal& abort);

  // Damaged data unless at least `bytes` more may still come.
  void require_remaining(std::uint64_t bytes) const;

  // Exactly `length` bytes of text. A length beyond what remains fails
  // before anything is allocated; on a stream of unknown size the text is
  // read in growing steps, so a false length fails at the end of the data
  // rather than by one huge allocation. A text a fixed-size `out` cannot
  // hold is damaged data. On failure `out` holds no part of the text.
  void read_text(std::uint32_t length, qiv::string_object& out, const abort_signal& abort);
  // A u32 byte length, then that many bytes of text (read_text).
  void read_length_prefixed_string(qiv::string_object& out, const abort_signal& abort);
  // Every byte to the end of the stream.
  void read_to_end(qiv::string_object& out, const abort_signal& abort);

protected:
  ~byte_stream_reader() = default;
};

class byte_stream_writer {
public:
  // Writes every byte or throws.
  virtual void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) = 0;

  void write_u32(std::uint32_t value, const abort_signal& abort);
  void write_i32(std::int32_t value, const abort_signal& abort) { write_u32(static_cast<std::uint32_t>(value), abort); }
  void write_guid(const GUID& guid, const abort_signal& abort);
  // The u32 byte length of the text up to its NUL, then those bytes.
  void write_length_prefixed_string(const char* text, const abort_signal& abort);

protected:
  ~byte_stream_writer() = default;
};
