#include "playback/inputs/ogg/ogg_album_art.h"

#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "metadata/input_file_access.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "playback/inputs/ogg/ogg_input.h"

exception_album_art_unsupported_entry::exception_album_art_unsupported_entry()
    : exception_io_data(
          vantrel_io::io_message("exception_album_art_unsupported_entry", "Unsupported attached picture entry")) {}

bool ogg_album_art::is_supported_type(const GUID& type) {
  std::uint32_t picture_type;
  return picture_type_from_album_art_id(type, picture_type);
}

album_art_data_ptr ogg_album_art::query(const GUID& type, const abort_signal& abort) {
  abort.check_and_throw();
  album_art_data_ptr picture;
  if (!pictures_.get(type, picture)) throw exception_album_art_not_found();
  return picture;
}

void ogg_album_art::set(const GUID& type, const album_art_data_ptr& picture, const abort_signal& abort) {
  abort.check_and_throw();
  if (!is_supported_type(type)) throw exception_album_art_unsupported_entry();
  pictures_.set(type, picture);
  modified_ = true;
}

void ogg_album_art::remove(const GUID& type) {
  if (pictures_.remove(type)) modified_ = true;
}

void ogg_album_art::remove_all() {
  pictures_.remove_all();
  modified_ = true;
}

void ogg_album_art::commit(const abort_signal& abort) {
  if (!file_) throw qiv::exception_not_implemented();
  if (path_.empty()) {
    ogg_input input;
    input.open(file_, "", open_reason::info_write, abort);
    input.set_pictures(pictures_);
    input.commit(abort);
  } else {
    // The file is replaced by a move, which our own open handle would block.
    file_.reset();
    try {
      ogg_input input;
      input.open(nullptr, path_.c_str(), open_reason::info_write, abort);
      input.set_pictures(pictures_);
      input.commit(abort);
      file_ = input.file();
    } catch (...) {
      // The old file is intact; keep the object usable on it.
      try {
        vantrel_io::open_for_writing(file_, path_.c_str(), never_raised_abort_signal());
      } catch (...) {
      }
      throw;
    }
  }
  modified_ = false;
}

namespace {

template <class Interface>
void open_ogg_album_art(service_ptr<Interface>& out, vantrel_io::file_ptr file, const char* path, bool for_editing,
                        const abort_signal& abort) {
  service_ptr<service_counted<ogg_album_art>> object(new service_counted<ogg_album_art>());
  object->open(std::move(file), path, for_editing, abort);
  out = object.get();
}

class ogg_album_art_reader : public album_art_reader {
public:
  bool is_our_path(const char*, const char* extension) override { return ogg_is_our_extension(extension); }
  void open(album_art_extractor_ptr& out, vantrel_io::file_ptr file, const char* path,
            const abort_signal& abort) override {
    open_ogg_album_art(out, std::move(file), path, false, abort);
  }
};

class ogg_album_art_writer : public album_art_writer {
public:
  bool is_our_path(const char*, const char* extension) override { return ogg_is_our_extension(extension); }
  void open(album_art_editor_ptr& out, vantrel_io::file_ptr file, const char* path,
            const abort_signal& abort) override {
    open_ogg_album_art(out, std::move(file), path, true, abort);
  }
};

service_factory_single_t<ogg_album_art_reader> ogg_album_art_reader_registration;
service_factory_single_t<ogg_album_art_writer> ogg_album_art_writer_registration;

}  // namespace
