// The service for the trailing tags of a file (APEv2 and ID3v1). The program
// carries exactly one; start-up refuses to run with none or with several,
// since that means the installation is damaged.
#pragma once

#include "core/abort_signal.h"
#include "core/service_object.h"

namespace vantrel_io {
class file_object;
}

class tag_service : public service_object {
public:
  static constexpr GUID class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};
  using service_parent = service_object;

  // Cuts every trailing tag off the end of the file; a file without any is
  // left as it is.
  virtual void remove(vantrel_io::file_object& file, const abort_signal& abort) = 0;
};
