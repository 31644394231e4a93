// Services that may hold the application open: asked before it quits (the
// exit request, the preferences dialog's own close).
#pragma once

#include <windows.h>

#include "core/service_object.h"

class quit_approval : public service_object {
public:
  static constexpr GUID class_guid = {0x13F9CB11, 0x0EAE, 0x4417, {0xAF, 0x0C, 0x88, 0x94, 0xDE, 0xB6, 0x5E, 0x8B}};
  using service_parent = service_object;

  // False while the service cannot let the application close.
  virtual bool may_quit_now() = 0;

protected:
  ~quit_approval() = default;
};

namespace shutdown_approval {
// Asks every quit-approval service in registry order; false at the first
// refusal (the rest are not asked), true when all agree or none exists.
bool query_all();
}  // namespace shutdown_approval
