// The FLAC input as the input dispatch sees it: which files it claims and the
// objects it opens them as. Each object is a thin face over one flac_input.
#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "metadata/decoder_service.h"
#include "metadata/mime_type_match.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/flac/flac_input.h"

namespace {

using flac_decoder_object = input_decoder_object<flac_input>;
using flac_info_reader = input_info_reader<flac_input>;
using flac_info_writer = input_info_writer<flac_input>;

class decoder_service_flac : public decoder_service {
public:
  bool is_our_content_type(const char* mime_type) override {
    for (const char* type : {"audio/flac", "audio/x-flac", "application/flac", "application/x-flac"}) {
      if (mime_type_matches(mime_type, type)) return true;
    }
    return false;
  }
  bool is_our_path(const char*, const char* extension) override {
    return qiv::compare_nocase(extension, "flac") == 0 || qiv::compare_nocase(extension, "fla") == 0;
  }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                         const abort_signal& abort) override {
    open_input_object<flac_decoder_object>(out, std::move(file), path, open_reason::decode, abort);
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    open_input_object<flac_info_reader>(out, std::move(file), path, open_reason::info_read, abort);
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    open_input_object<flac_info_writer>(out, std::move(file), path, open_reason::info_write, abort);
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }
};

service_factory_single_t<decoder_service_flac> flac_input_registration;

}  // namespace
