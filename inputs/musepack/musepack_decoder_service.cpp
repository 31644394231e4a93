// The Musepack input as the input dispatch sees it: which files it claims
// and the objects it opens them as, each a thin face over one musepack_input.
#include "core/service_factory.h"
#include "inputs/musepack/musepack_input.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"

namespace {

constexpr const char* musepack_extensions[] = {"mpc", "mp+", "mpp"};
constexpr const char* musepack_mime_types[] = {"audio/musepack", "audio/x-musepack"};

class decoder_service_musepack
    : public input_service<input_decoder_object<musepack_input>, input_info_reader<musepack_input>,
                           input_info_writer<musepack_input>> {
public:
  decoder_service_musepack() : input_service(musepack_extensions, musepack_mime_types) {}
};

service_factory_single_t<decoder_service_musepack> musepack_input_registration;

}  // namespace
