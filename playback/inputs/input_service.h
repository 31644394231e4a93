// What every input's service does alike: it claims files by extension and by
// MIME type, and opens its decoder, info reader and info writer objects,
// each through the object's open(file, path, open reason, abort). A new input
// names its three objects and what it claims; one whose claim follows another
// rule overrides is_our_path or is_our_content_type.
#pragma once

#include <span>
#include <utility>

#include "core/service_factory.h"
#include "core/service_object.h"
#include "foundation/case_folding.h"
#include "metadata/decoder_service.h"
#include "metadata/mime_type_match.h"

// Extensions compare without regard to ASCII case.
inline bool extension_is_one_of(const char* extension, std::span<const char* const> ours) {
  for (const char* one : ours)
    if (qiv::compare_nocase(extension, one) == 0) return true;
  return false;
}

template <class Decoder, class InfoReader, class InfoWriter>
class input_service : public decoder_service {
public:
  // The lists are the input's static arrays: the service keeps only views of them.
  input_service(std::span<const char* const> extensions, std::span<const char* const> mime_types)
      : extensions_(extensions), mime_types_(mime_types) {}

  bool is_our_content_type(const char* mime_type) override {
    for (const char* ours : mime_types_)
      if (mime_type_matches(mime_type, ours)) return true;
    return false;
  }
  bool is_our_path(const char*, const char* extension) override { return extension_is_one_of(extension, extensions_); }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                         const abort_signal& abort) override {
    out = open<Decoder>(std::move(file), path, open_reason::decode, abort).get();
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    out = open<InfoReader>(std::move(file), path, open_reason::info_read, abort).get();
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    out = open<InfoWriter>(std::move(file), path, open_reason::info_write, abort).get();
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }

private:
  template <class Object>
  static service_ptr<Object> open(vantrel_io::file_ptr file, const char* path, open_reason reason,
                                  const abort_signal& abort) {
    service_ptr<Object> object(new service_counted<Object>());
    object->open(std::move(file), path, reason, abort);
    return object;
  }

  std::span<const char* const> extensions_;
  std::span<const char* const> mime_types_;
};
