// The MP4 library's stream over an open file of the file layer. Every file
// call carries the caller's abort signal, so a long parse stays cancellable.
#pragma once

#include "core/abort_signal.h"
#include "inputs/mp4/mp4_stream.h"
#include "io/file_object.h"

namespace tarnex {

// When readers may read the file written: a file written in place is read
// meanwhile, so its flushes reach the disk and the changes readers see go
// through the guarded overwrite; a temporary copy is read by no one until it
// replaces the file, which flushes it whole first (flushes on the way would
// only cost).
enum class file_readers { meanwhile, after_replacement };

class mp4_stream_adapter final : public stream {
public:
  mp4_stream_adapter(vantrel_io::file_ptr file, const abort_signal& abort,
                     file_readers readers = file_readers::meanwhile);

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
  void flush() override;
  void overwrite(std::uint64_t at, const void* bytes, std::uint32_t size) override;

private:
  vantrel_io::file_ptr file_;
  const abort_signal& abort_;
  const file_readers readers_;
};

}  // namespace tarnex
