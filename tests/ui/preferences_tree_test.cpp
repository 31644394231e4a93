// The preferences tree assembled from pages and branches: what hangs where,
// what is left out and in which order siblings come.
#include "ui/dialogs/preferences_tree.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/dialogs/preferences_page.h"

namespace {

GUID id(unsigned char n) { return {0x1000u + n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}}; }

preferences_node node(bool is_page, const char* name, const GUID& guid, const GUID& parent, double priority = 0.0) {
  preferences_node n;
  n.is_page = is_page;
  n.name = name;
  n.guid = guid;
  n.parent = parent;
  n.priority = priority;
  return n;
}

// "name(child,child)" for each list, in order.
std::string shape(const std::vector<preferences_node*>& list) {
  std::string out;
  for (const preferences_node* n : list) {
    if (!out.empty()) out += ",";
    out += n->name;
    if (!n->children.empty()) out += "(" + shape(n->children) + ")";
  }
  return out;
}

TEST(PreferencesTree, EmptyBranchesOrphansAndDuplicatesStayOutOfTheTree) {
  preferences_tree tree;
  const GUID root = preferences_root_guid;
  tree.add(node(true, "Playback", id(1), root));
  tree.add(node(false, "Input", id(2), id(1)));            // a branch under a page, holding nothing
  tree.add(node(false, "Tools", id(3), root));             // holds a branch that holds a page
  tree.add(node(false, "Tagging", id(4), id(3)));
  tree.add(node(true, "Scripts", id(5), id(4)));
  tree.add(node(true, "Orphan", id(6), id(99)));           // its parent is nowhere
  tree.add(node(true, "Second of a GUID", id(1), root));   // the first of a GUID wins
  tree.add(node(false, "Visualisations", id(7), root));
  tree.build();
  EXPECT_EQ(shape(tree.roots()), "Playback,Tools(Tagging(Scripts))");
  ASSERT_NE(tree.find(id(6)), nullptr) << "a table node, but unreachable";
  EXPECT_FALSE(tree.is_in_tree(tree.find(id(6))));
  EXPECT_TRUE(tree.is_in_tree(tree.find(id(5))));
  EXPECT_EQ(tree.find(id(1))->name, "Playback");
  EXPECT_EQ(tree.find(id(42)), nullptr);
}

TEST(PreferencesTree, SiblingsComeByPriorityThenByNameIgnoringCase) {
  preferences_tree tree;
  const GUID root = preferences_root_guid;
  tree.add(node(true, "playback", id(1), root));
  tree.add(node(true, "Music folders", id(2), root));
  tree.add(node(true, "Zebra", id(3), root, -1.0));
  tree.add(node(true, "apple", id(4), root, 2.0));
  tree.add(node(true, "Älg", id(5), root));
  tree.build();
  EXPECT_EQ(shape(tree.roots()), "Zebra,Music folders,playback,Älg,apple");
}

}  // namespace
