#include "metadata/title/title_format_service.h"

#include "core/service_factory.h"

namespace {

class title_format_service_impl : public title_format_service {
public:
  bool compile(qiv::ref_ptr<title_script>& script, const char* text) override {
    script = title_script::compile(text);
    return true;
  }
};

service_factory_single_t<title_format_service_impl> title_format_service_registration;

}  // namespace
