#include "properties/edited_fields_filter.h"

#include <algorithm>
#include <functional>

#include "properties/field_display_context.h"

edited_fields_filter::edited_fields_filter(const track_handle_list& tracks, const std::vector<bool>& info_read,
                                           const std::vector<edited_field>& loaded, const edited_field_list& rows)
    : tracks_(tracks), info_read_(info_read), loaded_(loaded) {
  info_read_.resize(tracks_.size(), false);
  rows_.reserve(rows.size());
  for (const edited_field_ptr& row : rows) rows_.push_back(*row);
  // The name the user sees now spells a field that is new to a file.
  const auto name_entry = [this](const std::string& name) -> named_rows& {
    for (named_rows& entry : names_)
      if (field_names_equal(entry.name, name)) return entry;
    return names_.emplace_back(named_rows{name, {}, {}});
  };
  for (std::uint32_t i = 0; i < rows_.size(); ++i) name_entry(rows_[i].name).now.push_back(i);
  for (std::uint32_t i = 0; i < loaded_.size(); ++i) name_entry(loaded_[i].name).loaded.push_back(i);
  by_handle_.resize(tracks_.size());
  for (std::uint32_t i = 0; i < by_handle_.size(); ++i) by_handle_[i] = i;
  std::sort(by_handle_.begin(), by_handle_.end(), [this](std::uint32_t a, std::uint32_t b) {
    return std::less<const track_handle*>()(tracks_[a].get(), tracks_[b].get());
  });
}

std::int64_t edited_fields_filter::find_track(const track_handle* handle) const {
  const auto found = std::lower_bound(by_handle_.begin(), by_handle_.end(), handle,
                                      [this](std::uint32_t index, const track_handle* wanted) {
                                        return std::less<const track_handle*>()(tracks_[index].get(), wanted);
                                      });
  if (found == by_handle_.end() || tracks_[*found].get() != handle) return -1;
  return *found;
}

void edited_fields_filter::release_rows() noexcept {
  info_read_.assign(info_read_.size(), false);
  loaded_.clear();
  rows_.clear();
  names_.clear();
}

bool edited_fields_filter::update(const track_handle_ptr& handle, const vantrel_io::file_stats&, track_info& info) {
  const std::int64_t track = find_track(handle.get());
  return track >= 0 && apply(std::uint32_t(track), info);
}

namespace {

// The values of one track in the rows of one name, in row order.
value_list track_values(const std::vector<edited_field>& rows, const std::vector<std::uint32_t>& indices,
                        std::uint32_t track) {
  value_list values;
  for (std::uint32_t index : indices) {
    const value_list& row_values = rows[index].values(track);
    values.insert(values.end(), row_values.begin(), row_values.end());
  }
  return values;
}

// Every value of the info's fields of that name (ASCII letters folded), in
// field order.
value_list info_values(const track_info& info, const std::string& name) {
  value_list values;
  for (std::uint32_t field = 0; field < info.field_count(); ++field)
    if (field_names_equal(info.field_name(field), name))
      for (std::uint32_t v = 0; v < info.field_value_count(field); ++v) values.emplace_back(info.field_value(field, v));
  return values;
}

void append_values(track_info& info, const char* name, const value_list& values) {
  const std::uint32_t field =
      info.append_field(name, track_info::until_nul, values[0].data(), values[0].size());
  for (std::size_t v = 1; v < values.size(); ++v) info.add_field_value(field, values[v].data(), values[v].size());
}

}  // namespace

std::vector<edited_fields_filter::field_edit> edited_fields_filter::edits_of(std::uint32_t track) const {
  std::vector<field_edit> edits;
  for (const named_rows& entry : names_) {
    // One row of the name, as loaded and now, is the usual case: compared
    // in place, a field of thousands of values is not copied for a track
    // whose values stayed.
    if (entry.now.size() == 1 && entry.loaded.size() == 1) {
      const value_list& now = rows_[entry.now[0]].values(track);
      const value_list& loaded = loaded_[entry.loaded[0]].values(track);
      if (&now != &loaded && now != loaded) edits.push_back(field_edit{&entry.name, now});
      continue;
    }
    value_list now = track_values(rows_, entry.now, track);
    if (now != track_values(loaded_, entry.loaded, track)) edits.push_back(field_edit{&entry.name, std::move(now)});
  }
  return edits;
}

bool edited_fields_filter::apply(std::uint32_t track, track_info& info) const {
  if (track >= info_read_.size() || !info_read_[track]) return false;

  // Only the fields this dialog changed for the track are written; the info
  // is what the file holds now, which may differ from what the dialog loaded.
  std::vector<field_edit> edits = edits_of(track);
  std::erase_if(edits, [&info](const field_edit& edit) { return info_values(info, *edit.name) == edit.values; });
  if (edits.empty()) return false;

  // Untouched fields keep their place and spelling; an edited field takes
  // the place of its first spelling in the file, a new one goes last.
  const track_info_impl before(info);
  std::vector<bool> placed(edits.size(), false);
  info.remove_all_fields();
  for (std::uint32_t field = 0; field < before.field_count(); ++field) {
    const char* name = before.field_name(field);
    const auto edit = std::find_if(edits.begin(), edits.end(),
                                   [name](const field_edit& e) { return field_names_equal(name, *e.name); });
    if (edit == edits.end()) {
      if (before.field_value_count(field) > 0) track_info::copy_field_values_from(info, before, field);
    } else if (!placed[std::size_t(edit - edits.begin())]) {
      placed[std::size_t(edit - edits.begin())] = true;
      if (!edit->values.empty()) append_values(info, name, edit->values);
    }
  }
  for (std::size_t e = 0; e < edits.size(); ++e) {
    // A name no tag format can hold never reaches the writers.
    if (placed[e] || edits[e].values.empty() || !track_info::is_valid_field_name(edits[e].name->c_str())) continue;
    append_values(info, edits[e].name->c_str(), edits[e].values);
  }
  return true;
}
