// The FLAC input as the input dispatch sees it: which files it claims and the
// objects it opens them as. Each object is a thin face over one flac_input.
#include "core/service_factory.h"
#include "playback/inputs/flac/flac_input.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"

namespace {

constexpr const char* flac_extensions[] = {"flac", "fla"};
constexpr const char* flac_mime_types[] = {"audio/flac", "audio/x-flac", "application/flac", "application/x-flac"};

class decoder_service_flac : public input_service<input_decoder_object<flac_input>, input_info_reader<flac_input>,
                                                  input_info_writer<flac_input>> {
public:
  decoder_service_flac() : input_service(flac_extensions, flac_mime_types) {}
};

service_factory_single_t<decoder_service_flac> flac_input_registration;

}  // namespace
