// The Windows Media input as the input dispatch sees it: which files it
// claims and the objects it opens them as, each a thin face over one
// wma_input.
#include "core/service_factory.h"
#include "inputs/wma/wma_input.h"
#include "io/path_schemes.h"
#include "playback/inputs/input_objects.h"
#include "playback/inputs/input_service.h"

namespace {

constexpr const char* wma_extensions[] = {"wma", "wmv", "asf"};

class decoder_service_wma
    : public input_service<input_decoder_object<wma::wma_input>, input_info_reader<wma::wma_input>,
                           input_info_writer<wma::wma_input>> {
public:
  decoder_service_wma() : input_service(wma_extensions, {}) {}

  bool is_our_content_type(const char*) override { return false; }
  // The runtime reads through its own stream calls, which a remote file
  // cannot serve at playback speed.
  bool is_our_path(const char* path, const char* extension) override {
    return extension_is_one_of(extension, wma_extensions) && !vantrel_io::is_remote(path);
  }
};

service_factory_single_t<decoder_service_wma> wma_input_registration;

}  // namespace
