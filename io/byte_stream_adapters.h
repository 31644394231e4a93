// The file layer's writers seen as the core's byte stream, so configuration
// items (which live below the file layer) can write into memory buffers and
// files.
#pragma once

#include "core/byte_stream.h"
#include "io/file_object.h"

namespace vantrel_io {

class byte_stream_writer_adapter final : public byte_stream_writer {
public:
  explicit byte_stream_writer_adapter(writer& target) noexcept : target_(target) {}
  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    target_.write(buffer, bytes, abort);
  }

private:
  writer& target_;
};

}  // namespace vantrel_io
