// The item keys of an MP4 item list that carry one text field each, and the
// field names they map to, in both directions.
#pragma once

#include <cstdint>
#include <string>

namespace tarnex {

// The field name of a text item key; null for keys outside the table.
const char* field_for_item_key(std::uint32_t key);
// The text item key of a field name (letters folded); 0 when it has none.
std::uint32_t item_key_for_field(const std::string& name);

}  // namespace tarnex
