// The MP4-family input as the input dispatch sees it: which files it claims
// and the objects it opens them as, each a thin face over one mp4_input.
#include "core/service_factory.h"
#include "inputs/mp4/mp4_input.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"

namespace {

constexpr const char* mp4_extensions[] = {"mp4", "m4a", "m4b", "m4r", "3gp", "3g2"};
constexpr const char* mp4_mime_types[] = {"audio/mp4", "audio/x-mp4"};

class decoder_service_mp4
    : public input_service<input_decoder_object<tarnex::mp4_input>, input_info_reader<tarnex::mp4_input>,
                           input_info_writer<tarnex::mp4_input>> {
public:
  decoder_service_mp4() : input_service(mp4_extensions, mp4_mime_types) {}
};

service_factory_single_t<decoder_service_mp4> mp4_input_registration;

}  // namespace
