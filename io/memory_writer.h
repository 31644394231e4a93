// Collects written bytes in memory, for callers that build a file's content
// (a tag, a library section) before writing it in one piece. Lives on its
// owner's stack and is never handed out as a file.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/array.h"
#include "io/file_object.h"

namespace vantrel_io {

class memory_writer final : public writer {
public:
  memory_writer() = default;
  memory_writer(const memory_writer&) = delete;
  memory_writer& operator=(const memory_writer&) = delete;
  ~memory_writer() = default;

  // Empties the writer.
  void init() { bytes_.clear(); }

  // Appends at the end. More than 2^32 - 1 bytes in all is "bad allocation";
  // the bytes written before stay.
  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override;

  const std::uint8_t* get_ptr() const { return bytes_.data(); }
  std::uint32_t get_size() const { return bytes_.get_count(); }

private:
  qiv::array<std::uint8_t> bytes_;
};

}  // namespace vantrel_io
