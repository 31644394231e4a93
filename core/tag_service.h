// The service for the trailing tags of a file (APEv2 and ID3v1). The program
// carries exactly one; start-up refuses to run with none or with several,
// since that means the installation is damaged.
#pragma once

#include "core/service_object.h"

class tag_service : public service_object {
public:
  static constexpr GUID class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};
  using service_parent = service_object;
};
