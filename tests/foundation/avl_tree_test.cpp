#include "foundation/avl_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using u32_set = qiv::avl_set<std::uint32_t, qiv::u32_order>;
using u32_map = qiv::avl_map<std::uint32_t, int, qiv::u32_order>;

// Checks every structural rule below a node and answers its depth.
template <class Node>
std::uint32_t checked_depth(const Node* node, const Node* parent) {
  if (!node) return 0;
  EXPECT_EQ(node->parent(), parent);
  const std::uint32_t left = node->left() ? checked_depth(node->left(), node) + 1 : 0;
  const std::uint32_t right = node->right() ? checked_depth(node->right(), node) + 1 : 0;
  EXPECT_LE(left > right ? left - right : right - left, 1u) << "unbalanced";
  EXPECT_EQ(node->depth(), std::max(left, right));
  return node->depth();
}

template <class Tree>
std::vector<std::uint32_t> keys_forwards(const Tree& tree) {
  std::vector<std::uint32_t> keys;
  for (auto* node = tree.first(); node; node = Tree::step(node, true)) keys.push_back(node->key);
  return keys;
}

template <class Tree>
std::vector<std::uint32_t> keys_backwards(const Tree& tree) {
  std::vector<std::uint32_t> keys;
  auto* node = tree.first();
  if (!node) return keys;
  while (auto* next = Tree::step(node, true)) node = next;
  for (; node; node = Tree::step(node, false)) keys.insert(keys.begin(), node->key);
  return keys;
}

TEST(AvlTree, AscendingKeysOneToSevenGiveRootDepthTwo) {
  u32_set tree;
  for (std::uint32_t k = 1; k <= 7; ++k) tree.insert(k);
  ASSERT_NE(tree.root(), nullptr);
  EXPECT_EQ(tree.root()->depth(), 2u);
  EXPECT_EQ(tree.root()->key, 4u);
  checked_depth(tree.root(), decltype(tree.root())(nullptr));
  EXPECT_EQ(tree.count(), 7u);
}

TEST(AvlTree, InsertingAnExistingKeyAnswersItsNodeAndChangesNothing) {
  u32_map tree;
  auto first = tree.insert(5u);
  EXPECT_TRUE(first.added);
  first.node->value = 50;
  tree.insert(3u);
  auto again = tree.insert(5u);
  EXPECT_FALSE(again.added);
  EXPECT_EQ(again.node, first.node);
  EXPECT_EQ(again.node->value, 50);
  EXPECT_EQ(tree.count(), 2u);

  EXPECT_EQ(tree.find_or_add(5u, 99), 50);  // value kept for an existing key
  EXPECT_EQ(tree.find_or_add(7u, 70), 70);
  EXPECT_EQ(tree.find(7u)->value, 70);
  EXPECT_EQ(tree.find(6u), nullptr);
}

TEST(AvlTree, RemovingARootWithTwoChildrenPromotesTheSmallestKeyOnItsRight) {
  u32_set tree;
  for (std::uint32_t k : {4u, 2u, 6u, 1u, 3u, 5u, 7u}) tree.insert(k);
  ASSERT_EQ(tree.root()->key, 4u);
  EXPECT_TRUE(tree.remove(4u));
  EXPECT_EQ(tree.root()->key, 5u);
  checked_depth(tree.root(), decltype(tree.root())(nullptr));
  EXPECT_EQ(keys_forwards(tree), (std::vector<std::uint32_t>{1, 2, 3, 5, 6, 7}));
  EXPECT_EQ(keys_backwards(tree), (std::vector<std::uint32_t>{1, 2, 3, 5, 6, 7}));
  EXPECT_FALSE(tree.remove(4u));
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
    if (round % 250 == 0) checked_depth(tree.root(), decltype(tree.root())(nullptr));
  }
  checked_depth(tree.root(), decltype(tree.root())(nullptr));
  const std::vector<std::uint32_t> all(expected.begin(), expected.end());
  EXPECT_EQ(keys_forwards(tree), all);
  EXPECT_EQ(keys_backwards(tree), all);
  EXPECT_EQ(tree.count(), all.size());
}

TEST(AvlTree, NodesHeldByCallersSurviveRemovalAndClearingDetached) {
  u32_map tree;
  for (std::uint32_t k = 1; k <= 10; ++k) tree.insert(k);
  qiv::ref_ptr<u32_map::insert_result::node_type> dummy;
  (void)dummy;
}

} // namespace
