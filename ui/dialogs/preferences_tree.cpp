#include "ui/dialogs/preferences_tree.h"

#include <algorithm>

#include "core/service_registry.h"
#include "foundation/case_folding.h"
#include "foundation/comparators.h"
#include "foundation/guid_equal.h"
#include "foundation/string_small.h"
#include "ui/dialogs/preferences_page.h"

namespace {

// A branch is kept only when a page lies somewhere beneath it.
bool prune(std::vector<preferences_node*>& list) {
  bool holds_page = false;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](preferences_node* node) {
                              const bool keep = prune(node->children) || node->is_page;
                              holds_page = holds_page || keep;
                              return !keep;
                            }),
             list.end());
  return holds_page;
}

void order(std::vector<preferences_node*>& list) {
  std::sort(list.begin(), list.end(), [](const preferences_node* a, const preferences_node* b) {
    if (a->priority != b->priority) return a->priority < b->priority;
    return qiv::compare_nocase(a->name.c_str(), b->name.c_str()) < 0;
  });
  for (preferences_node* node : list) order(node->children);
}

}  // namespace

void preferences_tree::add(preferences_node node) { table_.push_back(std::make_unique<preferences_node>(std::move(node))); }

void preferences_tree::build() {
  std::stable_sort(table_.begin(), table_.end(), [](const auto& a, const auto& b) { return qiv::guid_compare(a->guid, b->guid) < 0; });
  table_.erase(std::unique(table_.begin(), table_.end(),
                           [](const auto& a, const auto& b) { return qiv::guid_equal(a->guid, b->guid); }),
               table_.end());
  roots_.clear();
  for (const auto& node : table_) {
    if (qiv::guid_equal(node->parent, preferences_root_guid)) {
      roots_.push_back(node.get());
    } else if (preferences_node* parent = find(node->parent); parent != nullptr && parent != node.get()) {
      parent->children.push_back(node.get());
    }
  }
  prune(roots_);
  order(roots_);
}

void preferences_tree::add_registered() {
  std::uint32_t index = 0;
  for (const auto& page : service_list_t<preferences_page>()) {
    preferences_node node;
    node.is_page = true;
    node.index = index++;
    qiv::string_small name;
    page->get_name(name);
    node.name = name.get_ptr();
    node.guid = page->get_guid();
    node.parent = page->get_parent();
    if (auto v2 = service_query<preferences_page_v2>(page.get())) node.priority = v2->get_sort_priority();
    add(std::move(node));
  }
  index = 0;
  for (const auto& branch : service_list_t<preferences_branch>()) {
    preferences_node node;
    node.index = index++;
    qiv::string_small name;
    branch->get_name(name);
    node.name = name.get_ptr();
    node.guid = branch->get_guid();
    node.parent = branch->get_parent();
    if (auto v2 = service_query<preferences_branch_v2>(branch.get())) node.priority = v2->get_sort_priority();
    add(std::move(node));
  }
}

void preferences_tree::clear() noexcept {
  roots_.clear();
  table_.clear();
}

preferences_node* preferences_tree::find(const GUID& guid) const noexcept {
  const auto at = std::lower_bound(table_.begin(), table_.end(), guid,
                                   [](const auto& node, const GUID& key) { return qiv::guid_compare(node->guid, key) < 0; });
  if (at == table_.end() || !qiv::guid_equal((*at)->guid, guid)) return nullptr;
  return at->get();
}

bool preferences_tree::is_in_tree(const preferences_node* node) const noexcept {
  const auto contains = [node](const auto& self, const std::vector<preferences_node*>& list) -> bool {
    for (const preferences_node* candidate : list)
      if (candidate == node || self(self, candidate->children)) return true;
    return false;
  };
  return contains(contains, roots_);
}
