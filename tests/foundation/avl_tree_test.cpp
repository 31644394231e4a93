// Balanced ordered trees: structure after every change, detached nodes, key orders.
#include "foundation/avl_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>


namespace {

using u32_set = qiv::avl_set<std::uint32_t, qiv::u32_order>;
using u32_map = qiv::avl_map<std::uint32_t, int, qiv::u32_order>;

// Checks every structural rule below a node and answers its depth.
template <class Node>
std::uint32_t checked_depth(const Node* node, const Node* parent = nullptr) {
  if (!node) return 0;
  EXPECT_EQ(node->parent(), parent);
  const std::uint32_t left = node->left() ? checked_depth(node->left(), node) + 1 : 0;
  const std::uint32_t right = node->right() ? checked_depth(node->right(), node) + 1 : 0;
  EXPECT_LE(left > right ? left - right : right - left, 1u) << "unbalanced";
  EXPECT_EQ(node->depth(), std::max(left, right));
  return node->depth();
}

// The keys in order, walked forwards and checked against the backward walk.
template <class Tree>
std::vector<std::uint32_t> keys(const Tree& tree) {
  std::vector<std::uint32_t> forwards, backwards;
  decltype(tree.first()) last = nullptr;
  for (auto* node = tree.first(); node; node = Tree::step(node, true)) forwards.push_back((last = node)->key);
  for (auto* node = last; node; node = Tree::step(node, false)) backwards.insert(backwards.begin(), node->key);
  EXPECT_EQ(forwards, backwards);
  return forwards;
}

TEST(AvlTree, StaysBalancedAndOrderedThroughMixedInsertsAndRemovals) {
  u32_set tree;
  std::set<std::uint32_t> expected;
  std::mt19937 random(12345);
  for (int round = 0; round < 4000; ++round) {
    const std::uint32_t key = random() % 500;
    if (random() % 3 == 0) {
      EXPECT_EQ(tree.remove(key), expected.erase(key) == 1);
    } else {
      EXPECT_EQ(tree.insert(key).added, expected.insert(key).second);
    }
    if (round % 250 == 0) checked_depth(tree.root());
  }
  checked_depth(tree.root());
  EXPECT_EQ(keys(tree), std::vector<std::uint32_t>(expected.begin(), expected.end()));
  EXPECT_EQ(tree.count(), expected.size());
}

TEST(AvlTree, ExistingKeysKeepTheirNodeAndNodesHeldByCallersSurviveDetached) {
  using map_node = qiv::avl_map_node<std::uint32_t, int>;
  u32_map tree;
  for (std::uint32_t k = 1; k <= 10; ++k) tree.find_or_add(k, int(k));
  auto again = tree.insert(5u);
  EXPECT_FALSE(again.added);
  EXPECT_EQ(again.node, tree.find(5u));
  EXPECT_EQ(tree.find_or_add(5u, 99), 5);  // the value is kept too
  qiv::ref_ptr<map_node> removed(tree.find(4u));
  qiv::ref_ptr<map_node> kept(tree.find(8u));
  EXPECT_TRUE(tree.remove(4u));
  tree.clear();
  EXPECT_TRUE(tree.is_empty());
  for (map_node* node : {removed.get(), kept.get()}) {
    EXPECT_EQ(node->ref_count(), 1);
    EXPECT_EQ(node->parent(), nullptr);
    EXPECT_EQ(node->left(), nullptr);
    EXPECT_EQ(node->right(), nullptr);
  }
}

struct owned_entry : qiv::avl_owned_node<owned_entry> {
  owned_entry(std::uint32_t key) : key(key) {}
  ~owned_entry() { ++destroyed; }
  const std::uint32_t key;
  static inline int destroyed = 0;
};

TEST(AvlTree, AscendingKeysBalanceRemovingTheRootPromotesItsSuccessorAndOwnedNodesDie) {
  owned_entry::destroyed = 0;
  {
    qiv::avl_tree<owned_entry, qiv::u32_order> tree;
    for (std::uint32_t k = 1; k <= 7; ++k) tree.insert(k);  // ascending keys balance
    EXPECT_EQ(tree.root()->depth(), 2u);
    EXPECT_EQ(tree.root()->key, 4u);
    EXPECT_TRUE(tree.remove(4u));
    EXPECT_EQ(owned_entry::destroyed, 1);
    EXPECT_EQ(tree.root()->key, 5u);  // the smallest key of the right subtree
    checked_depth(tree.root());
    EXPECT_EQ(keys(tree), (std::vector<std::uint32_t>{1, 2, 3, 5, 6, 7}));
    EXPECT_FALSE(tree.remove(4u));
  }
  EXPECT_EQ(owned_entry::destroyed, 7);
}

// Text keys in use are driven through the localized texts and named locks.
TEST(TreeOrder, GuidsCompareByEveryByte) {
  const GUID first = {0x00000100, 0, 0, {0}};
  GUID last_byte = first;
  last_byte.Data4[7] = 0xFF;
  EXPECT_EQ(qiv::guid_compare(first, last_byte), -1);
  EXPECT_EQ(qiv::guid_compare(last_byte, first), 1);
}

} // namespace
