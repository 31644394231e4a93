#include "metadata/tags/tag_field_map.h"

#include "foundation/byte_compare.h"
#include "metadata/replaygain_info.h"
#include "metadata/replaygain_text.h"
#include "metadata/track_info.h"

bool field_name_less::operator()(const std::string& a, const std::string& b) const noexcept {
  return qiv::stricmp_ascii(a.c_str(), b.c_str()) < 0;
}

void tag_field_map::add_value(const std::string& name, const std::string& value) {
  if (value.empty()) return;
  entries_[name].push_back(value);
}

void tag_field_map::set_value(const std::string& name, const std::string& value) {
  values& entry = entries_[name];
  entry.assign(1, value);
}

void tag_field_map::add_number_and_total(const std::string& text, const char* number, const char* total) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) {
    add_value(number, text);
    return;
  }
  add_value(number, text.substr(0, slash));
  add_value(total, text.substr(slash + 1));
}

tag_field_map::values* tag_field_map::find(const std::string& name) {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : &it->second;
}

const tag_field_map::values* tag_field_map::find(const std::string& name) const {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : &it->second;
}

bool is_replaygain_field_name(const char* name) {
  replaygain_info probe;
  return probe.set_from_field(name, "0", 1);
}

void fields_from_info(const track_info& info, tag_field_map& fields) {
  for (std::uint32_t i = 0; i < info.field_count(); ++i) {
    const std::string name = info.field_name(i);
    tag_field_map::values& entry = fields.at(name);
    // Room for them all at once: doubling on the way would want half as much again.
    entry.reserve(entry.size() + info.field_value_count(i));
    for (std::uint32_t v = 0; v < info.field_value_count(i); ++v) entry.push_back(info.field_value(i, v));
  }
  const replaygain_info gain = info.get_replaygain();
  std::string text;
  for (const replaygain_field& field : replaygain_fields)
    if (replaygain_format_field(text, gain, field)) fields.set_value(field.name, text);
}

void keep_stored_replaygain_texts(const tag_field_map& stored, tag_field_map& fields) {
  for (const replaygain_field& field : replaygain_fields) {
    const tag_field_map::values* old = stored.find(field.name);
    tag_field_map::values* now = fields.find(field.name);
    if (old == nullptr || old->empty() || now == nullptr || now->size() != 1) continue;
    if (replaygain_text_reads_as(field, old->front(), now->front())) *now = *old;
  }
}
