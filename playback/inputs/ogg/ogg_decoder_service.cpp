// The Ogg input as the input dispatch sees it: which files it claims and the
// objects it opens them as, each a thin face over one ogg_input.
#include "core/service_factory.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"
#include "playback/inputs/ogg/ogg_input.h"

namespace {

constexpr const char* ogg_extensions[] = {"ogg", "spx", "oga", "ogx", "ogv", "opus"};
constexpr const char* ogg_mime_types[] = {"application/ogg", "application/x-ogg", "audio/ogg", "audio/x-ogg"};

class decoder_service_ogg : public input_service<input_decoder_object<ogg_input>, input_info_reader<ogg_input>,
                                                 input_info_writer<ogg_input>> {
public:
  decoder_service_ogg() : input_service(ogg_extensions, ogg_mime_types) {}
};

service_factory_single_t<decoder_service_ogg> ogg_input_registration;

}  // namespace

bool ogg_is_our_extension(const char* extension) { return extension_is_one_of(extension, ogg_extensions); }
