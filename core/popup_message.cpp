#include "core/popup_message.h"

#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

void popup_message_show(const char* text, const char* caption) {
  const service_class_entry* entry = service_registry::find_class(popup_message::class_guid);
  if (entry != nullptr && entry->count > 0) {
    service_lookup_unique_t<popup_message>()->show(text, ~std::size_t(0), caption, ~std::size_t(0), 1);
    return;
  }
  qiv::string_buffer line(caption);
  line.add_c_str(": ");
  line.add_c_str(text);
  line.add_c_str("\n");
  output_debug_string_utf8(line.get_ptr());
}
