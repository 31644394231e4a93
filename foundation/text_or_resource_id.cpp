#include "foundation/text_or_resource_id.h"

#include <cstdint>

text_or_resource_id::text_or_resource_id(const char* text) {
  if (text == nullptr) return;
  if ((reinterpret_cast<std::uintptr_t>(text) >> 16) == 0) {
    pointer_ = reinterpret_cast<const wchar_t*>(text);
    return;
  }
  text_ = qiv::string_to_wide_for_system(text);
  pointer_ = text_.get_ptr();
}
