#include "metadata/tags/vorbis_comment_map.h"

#include <algorithm>

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
  value_list kept;
  for (auto& value : values) {
    if (std::find(kept.begin(), kept.end(), value) == kept.end()) kept.push_back(std::move(value));
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
