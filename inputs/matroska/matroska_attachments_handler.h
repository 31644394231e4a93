// Reads an Attachments element into attachment records: name, MIME type and
// where the data lies. The data itself is left in the file.
#pragma once

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

}  // namespace Matroska
