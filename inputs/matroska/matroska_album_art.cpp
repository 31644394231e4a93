// Pictures attached to a Matroska or WebM file serve as its album art,
// chosen by attachment name; a file with a single picture shows it as the
// front cover. Nothing here writes pictures.
#include <cstring>
#include <string>

#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/path_names.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/matroska_attachments_handler.h"
#include "inputs/matroska/matroska_file_scan.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"
#include "io/read_ahead_file.h"
#include "metadata/album_art_data.h"
#include "metadata/album_art_services.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "playback/inputs/input_service.h"

namespace Matroska {

namespace {

constexpr const char* matroska_extensions[] = {"mkv", "mka", "webm"};

struct named_kind {
  const char* name;
  const GUID& kind;
};

const named_kind picture_names[] = {
    {"cover", album_art_ids::front},  {"front cover", album_art_ids::front}, {"back cover", album_art_ids::back},
    {"disc", album_art_ids::disc},    {"media", album_art_ids::disc},        {"artist", album_art_ids::artist},
};

const GUID* kind_of(const std::string& file_name) {
  const qiv::string_buffer name = qiv::string_filename(file_name.c_str());
  for (const named_kind& entry : picture_names)
    if (qiv::compare_nocase(name.get_ptr(), entry.name) == 0) return &entry.kind;
  return nullptr;
}

class matroska_album_art : public album_art_extractor_instance {
public:
  album_art_data_ptr query(const GUID& type, const abort_signal& abort) override {
    abort.check_and_throw();
    album_art_data_ptr picture;
    if (!pictures_.get(type, picture)) throw exception_album_art_not_found();
    return picture;
  }

  void open(vantrel_io::file_ptr file, const char* path, const abort_signal& abort) {
    vantrel_io::open_or_rewind(file, path, open_reason::info_read, abort);
    if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
    vantrel_io::read_ahead_file::wrap_if_local(file, abort);
    ebml_file_reader reader(file, abort);
    matroska_file_scan scan;
    matroska_scan_file(scan, reader);
    if (!scan.knows(ids::attachments)) throw exception_album_art_not_found();
    std::vector<matroska_attachment> attachments;
    matroska_attachments_handler handler(attachments);
    matroska_read_all(scan, reader, handler, ids::attachments);

    const matroska_attachment* first_image = nullptr;
    unsigned images = 0;
    for (const matroska_attachment& attachment : attachments) {
      // The MIME type's prefix compares byte for byte: "Image/JPEG" is no image.
      if (attachment.mime_type.compare(0, 6, "image/") != 0) continue;
      ++images;
      if (!first_image) first_image = &attachment;
      const GUID* kind = kind_of(attachment.file_name);
      album_art_data_ptr present;
      if (kind && !pictures_.get(*kind, present)) pictures_.set(*kind, read_picture(reader, attachment));
    }
    if (pictures_.count() == 0 && images == 1) pictures_.set(album_art_ids::front, read_picture(reader, *first_image));
    if (pictures_.count() == 0) throw exception_album_art_not_found();
  }

private:
  static album_art_data_ptr read_picture(ebml_reader& reader, const matroska_attachment& attachment) {
    const std::vector<std::uint8_t> bytes = matroska_read_attachment_data(reader, attachment);
    return album_art_data::create_from_buffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }

  album_art_map pictures_;
};

class matroska_album_art_reader : public album_art_reader {
public:
  bool is_our_path(const char*, const char* extension) override {
    return extension_is_one_of(extension, matroska_extensions);
  }
  void open(album_art_extractor_ptr& out, vantrel_io::file_ptr file, const char* path,
            const abort_signal& abort) override {
    service_ptr<service_counted<matroska_album_art>> object(new service_counted<matroska_album_art>());
    object->open(std::move(file), path, abort);
    out = object.get();
  }
};

service_factory_single_t<matroska_album_art_reader> matroska_album_art_reader_registration;

}  // namespace

}  // namespace Matroska
