// The Ogg input as the input dispatch sees it: which files it claims and the
// objects it opens them as, each a thin face over one ogg_input.
#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "metadata/decoder_service.h"
#include "metadata/mime_type_match.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/ogg/ogg_input.h"

bool ogg_is_our_extension(const char* extension) {
  for (const char* ours : {"ogg", "spx", "oga", "ogx", "ogv", "opus"}) {
    if (qiv::compare_nocase(extension, ours) == 0) return true;
  }
  return false;
}

namespace {

using ogg_decoder_object = input_decoder_object<ogg_input>;
using ogg_info_reader = input_info_reader<ogg_input>;
using ogg_info_writer = input_info_writer<ogg_input>;

class decoder_service_ogg : public decoder_service {
public:
  bool is_our_content_type(const char* mime_type) override {
    for (const char* type : {"application/ogg", "application/x-ogg", "audio/ogg", "audio/x-ogg"}) {
      if (mime_type_matches(mime_type, type)) return true;
    }
    return false;
  }
  bool is_our_path(const char*, const char* extension) override { return ogg_is_our_extension(extension); }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                         const abort_signal& abort) override {
    open_input_object<ogg_decoder_object>(out, std::move(file), path, open_reason::decode, abort);
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    open_input_object<ogg_info_reader>(out, std::move(file), path, open_reason::info_read, abort);
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    open_input_object<ogg_info_writer>(out, std::move(file), path, open_reason::info_write, abort);
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }
};

service_factory_single_t<decoder_service_ogg> ogg_input_registration;

}  // namespace
