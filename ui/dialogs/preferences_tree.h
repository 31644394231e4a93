// The preferences dialog's tree of pages and branches, assembled from the
// registered services: nodes hang under their parent (the root GUID for the
// top level), branches without a page beneath them are dropped, and siblings
// are ordered by priority, then by name ignoring case.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct preferences_node {
  bool is_page = false;
  // Index of the service in its class's enumeration.
  std::uint32_t index = 0;
  std::string name;
  GUID guid = {};
  GUID parent = {};
  double priority = 0.0;
  std::vector<preferences_node*> children;
  HTREEITEM item = nullptr;
};

class preferences_tree {
public:
  void add(preferences_node node);
  // Sorts the table by GUID (the second of two equal GUIDs is dropped),
  // links every node under its parent, prunes and orders the lists. A node
  // whose parent is missing stays out of the tree.
  void build();
  // Reads every preferences_page and preferences_branch of the registry.
  void add_registered();
  void clear() noexcept;

  const std::vector<preferences_node*>& roots() const noexcept { return roots_; }
  // Any node of the table, linked or not; null when none has the GUID.
  preferences_node* find(const GUID& guid) const noexcept;
  // Whether the node is reachable from the root list.
  bool is_in_tree(const preferences_node* node) const noexcept;

private:
  std::vector<std::unique_ptr<preferences_node>> table_;
  std::vector<preferences_node*> roots_;
};
