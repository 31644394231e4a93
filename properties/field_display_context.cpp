#include "properties/field_display_context.h"

#include "core/advanced_settings_registrations.h"
#include "foundation/string_buffer.h"
#include "metadata/field_display_names.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool contains_name(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& member : names)
    if (field_names_equal(member, name)) return true;
  return false;
}

}  // namespace

const std::array<const char*, field_display_context::standard_count>& field_display_context::standard_fields() {
  return field_display_names::standard_fields();
}

std::vector<std::string> split_field_name_list(std::string_view text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) names.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

int compare_field_names(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool field_names_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && compare_field_names(a, b) == 0;
}

field_display_context::field_display_context(std::string_view multi_line_names, std::string_view multi_value_names)
    : multi_line_(split_field_name_list(multi_line_names)), multi_value_(split_field_name_list(multi_value_names)) {}

field_display_context::field_display_context() {
  qiv::string_buffer text;
  advanced_settings::multiline_fields.get_state(text);
  multi_line_ = split_field_name_list(text.get_ptr());
  advanced_settings::multivalue_fields.get_state(text);
  multi_value_ = split_field_name_list(text.get_ptr());
}

int field_display_context::standard_index(std::string_view name) {
  return field_display_names::standard_index(name);
}

std::string field_display_context::display_name(std::string_view name) const {
  return field_display_names::display_name(name);
}

bool field_display_context::is_multi_line(std::string_view name) const { return contains_name(multi_line_, name); }
bool field_display_context::is_multi_value(std::string_view name) const { return contains_name(multi_value_, name); }
