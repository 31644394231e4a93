#include "metadata/tags/tag_changes.h"

#include <cstring>
#include <map>

#include "metadata/replaygain_text.h"
#include "metadata/track_info.h"

namespace {

// The field's new values as a last field; none where the field goes.
void append_values(track_info& tag, const std::string& name, const tag_field_map::values& values) {
  if (values.empty()) return;
  const std::uint32_t field = tag.append_field(name.c_str(), name.size(), values[0].c_str(), values[0].size());
  for (std::size_t v = 1; v < values.size(); ++v) tag.add_field_value(field, values[v].c_str(), values[v].size());
}

// The places of the fields of each name, letters folded, in field order:
// the values fields_from_info gathers under the name, none of them copied.
using field_places = std::map<std::string, std::vector<std::uint32_t>, field_name_less>;

field_places places_of(const track_info& info) {
  field_places places;
  for (std::uint32_t i = 0; i < info.field_count(); ++i)
    if (!is_replaygain_field_name(info.field_name(i))) places[info.field_name(i)].push_back(i);
  return places;
}

bool has_values(const track_info& info, const std::vector<std::uint32_t>& fields) {
  for (std::uint32_t field : fields)
    if (info.field_value_count(field) != 0) return true;
  return false;
}

bool same_values_in_fields(const track_info& a, const std::vector<std::uint32_t>& a_fields, const track_info& b,
                 const std::vector<std::uint32_t>& b_fields) {
  std::size_t a_field = 0, b_field = 0;
  std::uint32_t a_value = 0, b_value = 0;
  for (;;) {
    while (a_field < a_fields.size() && a_value == a.field_value_count(a_fields[a_field])) ++a_field, a_value = 0;
    while (b_field < b_fields.size() && b_value == b.field_value_count(b_fields[b_field])) ++b_field, b_value = 0;
    const bool a_done = a_field == a_fields.size(), b_done = b_field == b_fields.size();
    if (a_done || b_done) return a_done && b_done;
    if (std::strcmp(a.field_value(a_fields[a_field], a_value++), b.field_value(b_fields[b_field], b_value++)) != 0)
      return false;
  }
}

tag_field_map::values values_in_fields(const track_info& info, const std::vector<std::uint32_t>& fields) {
  tag_field_map::values values;
  for (std::uint32_t field : fields)
    for (std::uint32_t v = 0; v < info.field_value_count(field); ++v) values.push_back(info.field_value(field, v));
  return values;
}

// The ReplayGain values and any field of such a name, as fields_from_info
// gives them.
void replaygain_fields_of(const track_info& info, tag_field_map& fields) {
  track_info_impl named;
  for (std::uint32_t i = 0; i < info.field_count(); ++i)
    if (is_replaygain_field_name(info.field_name(i))) append_values(named, info.field_name(i), values_in_fields(info, {i}));
  named.set_replaygain(info.get_replaygain());
  fields_from_info(named, fields);
}

}  // namespace

tag_changes tag_changes::between(const track_info& as_read, const track_info& to_write) {
  // ReplayGain values compare in their stored text form: a value compares
  // equal to itself read back.
  tag_field_map before, after;
  replaygain_fields_of(as_read, before);
  replaygain_fields_of(to_write, after);
  tag_changes changes;
  changes.gain_ = to_write.get_replaygain();
  for (const auto& [name, values] : after.all()) {
    const tag_field_map::values* old = before.find(name);
    if (old == nullptr ? !values.empty() : *old != values) changes.changed_.at(name) = values;
  }
  for (const auto& [name, values] : before.all())
    if (!values.empty() && !after.has(name)) changes.changed_.at(name);
  // Every other field is compared where it stands: a copy of a tag of many
  // values would cost their memory twice over.
  const field_places old_places = places_of(as_read), new_places = places_of(to_write);
  for (const auto& [name, fields] : new_places) {
    const auto old = old_places.find(name);
    if (old == old_places.end() ? has_values(to_write, fields) : !same_values_in_fields(as_read, old->second, to_write, fields))
      changes.changed_.at(name) = values_in_fields(to_write, fields);
  }
  for (const auto& [name, fields] : old_places)
    if (has_values(as_read, fields) && new_places.count(name) == 0) changes.changed_.at(name);
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
