#include "inputs/matroska/matroska_attachments_handler.h"

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

class attached_file_handler : public ebml_element_handler {
public:
  explicit attached_file_handler(matroska_attachment& attachment) : attachment_(attachment) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::file_name:
        attachment_.file_name = read_once_not_empty(reader, size, has_name_);
        break;
      case ids::file_mime_type:
        attachment_.mime_type = read_once_not_empty(reader, size, has_mime_type_);
        break;
      case ids::file_data:
        if (attachment_.data_position != matroska_unset) vantrel_io::throw_io_data();
        attachment_.data_position = reader.position();
        attachment_.data_size = size;
        break;
    }
  }

  void on_end() override {
    if (attachment_.data_position == matroska_unset || attachment_.file_name.empty()) vantrel_io::throw_io_data();
  }

private:
  static std::string read_once_not_empty(ebml_reader& reader, std::uint64_t size, bool& seen) {
    if (seen) vantrel_io::throw_io_data();
    seen = true;
    std::string text = ebml_read_utf8(reader, size);
    if (text.empty()) vantrel_io::throw_io_data();
    return text;
  }

  matroska_attachment& attachment_;
  bool has_name_ = false, has_mime_type_ = false;
};

}  // namespace

void matroska_attachments_handler::on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) {
  if (id != ids::attached_file) return;
  matroska_attachment attachment;
  attached_file_handler handler(attachment);
  ebml_read_children(reader, handler);
  attachments_.push_back(std::move(attachment));
}

std::vector<std::uint8_t> matroska_read_attachment_data(ebml_reader& reader, const matroska_attachment& attachment) {
  if (attachment.data_position == matroska_unset) vantrel_io::throw_io_data();
  reader.seek(attachment.data_position);
  return ebml_read_binary(reader, attachment.data_size);
}

}  // namespace Matroska
