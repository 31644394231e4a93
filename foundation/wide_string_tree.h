// A map keyed by UTF-16 display texts, in ordinal order after the prefix
// unit: the lookup structure of the library views.
#pragma once

#include "foundation/avl_tree.h"
#include "foundation/wide_string.h"

namespace qiv {

struct wide_string_order {
  int operator()(const wide_string& a, const wide_string& b) const { return wide_string_compare(a, b); }
};

template <class Value>
class wide_string_tree : public avl_map<wide_string, Value, wide_string_order> {
public:
  // The value stored for the key, or a null value when the key is absent.
  // (The tree's node search stays available as find_node.)
  Value find(const wide_string& key) const {
    const auto* node = find_node(key);
    return node ? node->value : Value{};
  }

  const avl_map_node<wide_string, Value>* find_node(const wide_string& key) const {
    return avl_map<wide_string, Value, wide_string_order>::find(key);
  }
};

} // namespace qiv
