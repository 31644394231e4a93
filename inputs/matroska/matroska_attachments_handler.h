// Reads an Attachments element into attachment records: name, MIME type and
// where the data lies. The data itself is left in the file.
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

class matroska_attachments_handler : public ebml_element_handler {
public:
  explicit matroska_attachments_handler(std::vector<matroska_attachment>& attachments) : attachments_(attachments) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override;

private:
  std::vector<matroska_attachment>& attachments_;
};

// The bytes of an attachment, read from where the handler found them. Data
// above ebml_max_binary_size is exception_io_data: a crafted size must not
// ask a 32-bit process for gigabytes.
std::vector<std::uint8_t> matroska_read_attachment_data(ebml_reader& reader, const matroska_attachment& attachment);

}  // namespace Matroska
