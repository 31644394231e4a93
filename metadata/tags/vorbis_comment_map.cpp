#include "metadata/tags/vorbis_comment_map.h"

#include <set>
#include <string_view>

#include "metadata/track_info.h"

void vorbis_comment_map::add_value(const char* name, const char* value, std::size_t length) {
  if (!track_info::is_valid_field_name(name)) return;
  values_of(name).emplace_back(value, length);
}

vorbis_comment_map::value_list& vorbis_comment_map::values_of(const char* name) {
  return tree_.insert(name).node->value;
}

const vorbis_comment_map::node* vorbis_comment_map::find(const char* name) const { return tree_.find(name); }

void vorbis_comment_map::canonicalize() {
  remove_duplicate_values("album artist");
  remove_duplicate_values("publisher");
  keep_first_value("totaltracks");
  keep_first_value("totaldiscs");
}

void vorbis_comment_map::remove_duplicate_values(const char* name) {
  node* found = tree_.find(name);
  if (!found) return;
  value_list& values = found->value;
  // The first of each value stays, in file order; a set of those kept finds
  // the doubles, where a search through them would cost the square of a
  // tag's thousands of values.
  std::set<std::string_view> seen;
  value_list kept;
  for (const std::string& value : values) {
    if (seen.insert(value).second) kept.push_back(value);
  }
  values = std::move(kept);
}

void vorbis_comment_map::keep_first_value(const char* name) {
  node* found = tree_.find(name);
  if (found && found->value.size() > 1) found->value.resize(1);
}

void vorbis_comment_map::apply_to_info(track_info& info) const {
  info.remove_all_fields();
  for (const node* n = tree_.first(); n; n = decltype(tree_)::step(n, true)) {
    if (n->value.empty()) continue;
    const std::uint32_t field = info.append_field(n->key.data(), n->key.size(), n->value[0].data(), n->value[0].size());
    for (std::size_t i = 1; i < n->value.size(); ++i) {
      info.insert_field_value(field, static_cast<std::uint32_t>(i), n->value[i].data(), n->value[i].size());
    }
  }
}
