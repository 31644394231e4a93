#include "core/location_opener.h"

#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

void nav_open_locations(HWND main_window, const command_line_items& items) {
  // Each location is also traced to the debugger, so that a run can be
  // checked for what it was asked to open.
  for (const qiv::string_small& item : items) {
    qiv::string_buffer line("open: ");
    line.add_c_str(item.get_ptr());
    line.add_c_str("\n");
    output_debug_string_utf8(line.get_ptr());
  }
  service_enumerator walk(service_registry::table().find_class(location_opener::class_guid));
  service_handle service;
  while (walk.next(service)) static_cast<location_opener*>(service.get())->open_locations(main_window, items);
}
