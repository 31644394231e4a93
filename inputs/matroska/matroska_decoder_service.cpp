// The Matroska and WebM input as the input dispatch sees it: which files it
// claims and the objects it opens them as, each a thin face over one
// matroska_input.
#include "core/service_factory.h"
#include "inputs/matroska/matroska_input.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"

namespace {

constexpr const char* matroska_extensions[] = {"mkv", "mka", "webm"};
// "video/x_matroska" is spelled with an underscore, as stored files and
// peers name it; the hyphenated form is not claimed.
constexpr const char* matroska_mime_types[] = {"audio/x-matroska", "video/x_matroska", "audio/matroska",
                                               "video/matroska",   "audio/webm",       "video/webm"};

class decoder_service_matroska
    : public input_service<input_decoder_object<Matroska::matroska_input>, input_info_reader<Matroska::matroska_input>,
                           input_info_writer<Matroska::matroska_input>> {
public:
  decoder_service_matroska() : input_service(matroska_extensions, matroska_mime_types) {}
};

service_factory_single_t<decoder_service_matroska> matroska_input_registration;

}  // namespace
