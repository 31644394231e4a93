// The EBML reader over an open file, the one the Matroska input reads and
// edits its files through.
#pragma once

#include "core/abort_signal.h"
#include "inputs/matroska/ebml_reader.h"
#include "io/file_object.h"

namespace Matroska {

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
