#include "core/localized_text.h"

#include "foundation/avl_tree.h"
#include "foundation/comparators.h"
#include "foundation/string_small.h"

namespace localized_text {
namespace {

using text_table = qiv::avl_map<qiv::string_small, qiv::string_small, qiv::text_order>;

text_table& table() {
  static text_table texts;
  return texts;
}

}  // namespace

bool get(const char* id, qiv::string_object& output) {
  if (const auto* node = table().find(id)) {
    output.set_string(node->value.get_ptr());
    return true;
  }
  output.set_string("");
  return false;
}

void set(const char* id, const char* text) { table().insert(id).node->value.set_string(text); }

void clear() { table().clear(); }

}  // namespace localized_text
