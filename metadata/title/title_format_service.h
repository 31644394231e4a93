// The service through which other subsystems compile scripts.
#pragma once

#include "core/service_object.h"
#include "metadata/title/title_script.h"

class title_format_service : public service_object {
public:
  static constexpr GUID class_guid = {0x3F7674AB, 0x044C, 0x4796, {0x88, 0x01, 0x6C, 0x44, 0x3C, 0x24, 0x4D, 0x88}};
  using service_parent = service_object;

  // Compiles text into a new script and stores it in script, releasing what
  // script held. Always succeeds: there are no syntax errors.
  virtual bool compile(qiv::ref_ptr<title_script>& script, const char* text) = 0;
};
