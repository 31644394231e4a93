#include "metadata/secondary_format_dispatch.h"

#include "core/service_registry.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "metadata/input_dispatch.h"

namespace secondary_format_dispatch {

void open(service_handle& out, const char* path, vantrel_io::file_ptr file, const abort_signal& abort) {
  const service_class_entry* entry = service_registry::find_class(secondary_format_service::class_guid);
  // With nothing to hand the file to, it is not opened just to fail later.
  if (entry == nullptr || entry->count == 0) throw vantrel_io::exception_io_unsupported_format();
  qiv::string_buffer extension;
  input_dispatch::get_extension(path, extension);
  qiv::string_buffer mime_type;
  bool has_mime_type = false;
  if (!file) {
    vantrel_io::scheme_handler_ptr handler;
    if (vantrel_io::find_scheme_handler(path, handler)) {
      handler->open(file, path, vantrel_io::open_mode::read, abort);
      has_mime_type = file->get_mime_type(mime_type);
    }
  }
  service_handle handle;
  if (has_mime_type) {
    service_enumerator walk(entry);
    while (walk.next(handle)) {
      auto* service = static_cast<secondary_format_service*>(handle.get());
      if (service->is_our_content_type(mime_type.get_ptr())) {
        service->open(path, file, out, abort);
        return;
      }
    }
  }
  if (extension.get_length() != 0) {
    service_enumerator walk(entry);
    while (walk.next(handle)) {
      auto* service = static_cast<secondary_format_service*>(handle.get());
      if (qiv::compare_nocase(service->get_extension(), extension.get_ptr()) == 0) {
        service->open(path, file, out, abort);
        return;
      }
    }
  }
  throw vantrel_io::exception_io_unsupported_format();
}

}  // namespace secondary_format_dispatch
