#include "metadata/tags/tag_changes.h"

#include "metadata/replaygain_text.h"
#include "metadata/track_info.h"

namespace {

// The field's new values as a last field; none where the field goes.
void append_values(track_info& tag, const std::string& name, const tag_field_map::values& values) {
  if (values.empty()) return;
  const std::uint32_t field = tag.append_field(name.c_str(), name.size(), values[0].c_str(), values[0].size());
  for (std::size_t v = 1; v < values.size(); ++v) tag.add_field_value(field, values[v].c_str(), values[v].size());
}

}  // namespace

tag_changes tag_changes::between(const track_info& as_read, const track_info& to_write) {
  // ReplayGain values compare in their stored text form: a value compares
  // equal to itself read back.
  tag_field_map before, after;
  fields_from_info(as_read, before);
  fields_from_info(to_write, after);
  tag_changes changes;
  changes.gain_ = to_write.get_replaygain();
  for (const auto& [name, values] : after.all()) {
    const tag_field_map::values* old = before.find(name);
    if (old == nullptr ? !values.empty() : *old != values) changes.changed_.at(name) = values;
  }
  for (const auto& [name, values] : before.all())
    if (!values.empty() && !after.has(name)) changes.changed_.at(name);
  return changes;
}

void tag_changes::apply_to(track_info& tag) const {
  std::vector<std::string> names;
  names.reserve(changed_.all().size());
  for (const auto& entry : changed_.all()) names.push_back(entry.first);
  apply_to(tag, names);
}

void tag_changes::apply_to(track_info& tag, const std::vector<std::string>& names) const {
  // The changed fields leave in one removal: one at a time, each would move
  // the fields behind it, and an edit of a long tag's every field would
  // cost the square of its length. With each name once, each finds the field it
  // would have found after the earlier ones left.
  qiv::bit_array replaced(tag.field_count());
  for (const std::string& name : names) {
    if (!changed_.has(name) || replaygain_find_field(name.c_str())) continue;
    const std::uint32_t old = tag.find_field(name.c_str());
    if (old != track_info::not_found) replaced.set(old, true);
  }
  tag.remove_fields(replaced);
  for (const std::string& name : names) {
    const tag_field_map::values* values = changed_.find(name);
    if (values == nullptr) continue;
    if (replaygain_find_field(name.c_str())) apply_one_to(tag, name);
    else append_values(tag, name, *values);
  }
}

void tag_changes::apply_one_to(track_info& tag, const std::string& name) const {
  const tag_field_map::values* values = changed_.find(name);
  if (values == nullptr) return;
  if (const replaygain_field* g = replaygain_find_field(name.c_str())) {
    replaygain_info gain = tag.get_replaygain();
    gain.*g->value = gain_.*g->value;
    tag.set_replaygain(gain);
    return;
  }
  const std::uint32_t old = tag.find_field(name.c_str());
  if (old != track_info::not_found) {
    qiv::bit_array selection(tag.field_count());
    selection.set(old, true);
    tag.remove_fields(selection);
  }
  append_values(tag, name, *values);
}
