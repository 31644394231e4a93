// The MP4 library's stream over an open file of the file layer. Every file
// call carries the caller's abort signal, so a long parse stays cancellable.
#pragma once

#include "core/abort_signal.h"
#include "inputs/mp4/mp4_stream.h"
#include "io/file_object.h"

namespace tarnex {

class mp4_stream_adapter final : public stream {
public:
  mp4_stream_adapter(vantrel_io::file_ptr file, const abort_signal& abort);

  std::uint32_t read(void* buffer, std::uint32_t bytes) override;
  void read_exact(void* buffer, std::uint32_t bytes) override;
  std::uint64_t skip(std::uint64_t bytes) override;
  void check_remaining(std::uint64_t bytes) override;
  std::uint64_t position() override;
  // A file that cannot seek only moves forward, by reading.
  void seek(std::uint64_t position) override;
  std::uint64_t size() override;
  void truncate(std::uint64_t size) override;
  void write(const void* buffer, std::uint32_t bytes) override;

private:
  vantrel_io::file_ptr file_;
  const abort_signal& abort_;
};

}  // namespace tarnex
