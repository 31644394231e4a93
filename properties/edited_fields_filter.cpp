#include "properties/edited_fields_filter.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "properties/field_display_context.h"

edited_fields_filter::edited_fields_filter(const track_handle_list& tracks, const std::vector<bool>& info_read,
                                           const edited_field_list& rows)
    : tracks_(tracks), info_read_(info_read) {
  info_read_.resize(tracks_.size(), false);
  rows_.reserve(rows.size());
  for (const edited_field_ptr& row : rows) rows_.push_back(*row);
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

bool edited_fields_filter::update(const track_handle_ptr& handle, const vantrel_io::file_stats&, track_info& info) {
  const std::int64_t track = find_track(handle.get());
  return track >= 0 && apply(std::uint32_t(track), info);
}

namespace {

bool info_values_equal(const track_info& info, std::uint32_t field, const value_list& values) {
  if (info.field_value_count(field) != values.size()) return false;
  for (std::uint32_t v = 0; v < values.size(); ++v) {
    const char* value = info.field_value(field, v);
    if (std::strlen(value) != values[v].size() || std::memcmp(value, values[v].data(), values[v].size()) != 0)
      return false;
  }
  return true;
}

}  // namespace

bool edited_fields_filter::apply(std::uint32_t track, track_info& info) const {
  if (track >= info_read_.size() || !info_read_[track]) return false;

  // Each field of the info is accounted for by the first row of its name
  // (ASCII letters folded) whose values equal it; any field left over, or a
  // row that differs, means the file must change.
  const std::uint32_t field_count = info.field_count();
  std::vector<bool> matched(field_count, false);
  bool changed = false;
  for (const edited_field& row : rows_) {
    const value_list& values = row.values(track);
    std::uint32_t field = track_info::not_found;
    for (std::uint32_t f = 0; f < field_count; ++f)
      if (!matched[f] && field_names_equal(info.field_name(f), row.name)) {
        field = f;
        break;
      }
    if (field == track_info::not_found) {
      if (!values.empty()) changed = true;
    } else if (info_values_equal(info, field, values)) {
      matched[field] = true;
    } else {
      changed = true;
    }
    if (changed) break;
  }
  if (!changed) changed = std::find(matched.begin(), matched.end(), false) != matched.end();
  if (!changed) return false;

  info.remove_all_fields();
  for (const edited_field& row : rows_) {
    const value_list& values = row.values(track);
    // A name no tag format can hold never reaches the writers.
    if (values.empty() || !track_info::is_valid_field_name(row.name.c_str())) continue;
    std::uint32_t field = info.find_field(row.name.data(), row.name.size());
    std::size_t first = 0;
    if (field == track_info::not_found) {
      field = info.append_field(row.name.data(), row.name.size(), values[0].data(), values[0].size());
      first = 1;
    }
    for (std::size_t v = first; v < values.size(); ++v) info.add_field_value(field, values[v].data(), values[v].size());
  }
  return true;
}
