// Opening a file through a second, format-keyed service class: the first
// implementation that accepts the file's MIME type, else the first whose
// extension is the path's. No implementation ships, so every path ends as an
// unsupported format until one is registered.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"

class secondary_format_service : public service_object {
public:
  static constexpr GUID class_guid = {0x7103CAE9, 0x091C, 0x4D80, {0xBC, 0x1D, 0x28, 0x4A, 0xC1, 0x3F, 0x1E, 0x8C}};
  using service_parent = service_object;

  virtual void open(const char* path, vantrel_io::file_ptr file, service_handle& out, const abort_signal& abort) = 0;
  // The one extension the implementation handles, without the dot.
  virtual const char* get_extension() = 0;
  virtual bool is_our_content_type(const char* mime_type) = 0;

protected:
  ~secondary_format_service() = default;
};

namespace secondary_format_dispatch {
// vantrel_io::exception_io_unsupported_format when no implementation fits.
void open(service_handle& out, const char* path, vantrel_io::file_ptr file, const abort_signal& abort);
}  // namespace secondary_format_dispatch
