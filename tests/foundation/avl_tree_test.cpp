#include "foundation/avl_tree.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/string_small.h"

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
  using map_node = qiv::avl_map_node<std::uint32_t, int>;
  u32_map tree;
  for (std::uint32_t k = 1; k <= 10; ++k) tree.insert(k);
  qiv::ref_ptr<map_node> removed(tree.find(4u));
  EXPECT_EQ(removed->ref_count(), 2);
  EXPECT_TRUE(tree.remove(4u));
  EXPECT_EQ(removed->ref_count(), 1);
  EXPECT_EQ(removed->parent(), nullptr);
  EXPECT_EQ(removed->left(), nullptr);
  EXPECT_EQ(removed->right(), nullptr);
  EXPECT_EQ(u32_map::step(removed.get(), true), nullptr);
  EXPECT_EQ(keys_forwards(tree), (std::vector<std::uint32_t>{1, 2, 3, 5, 6, 7, 8, 9, 10}));

  qiv::ref_ptr<map_node> kept(tree.find(8u));
  tree.clear();
  EXPECT_TRUE(tree.is_empty());
  EXPECT_EQ(tree.count(), 0u);
  EXPECT_EQ(kept->ref_count(), 1);
  EXPECT_EQ(kept->key, 8u);
  EXPECT_EQ(kept->left(), nullptr);
  EXPECT_EQ(kept->parent(), nullptr);
}

struct owned_entry : qiv::avl_owned_node<owned_entry> {
  owned_entry(std::uint32_t key) : key(key) {}
  ~owned_entry() { ++destroyed; }
  const std::uint32_t key;
  static inline int destroyed = 0;
};

TEST(AvlTree, TreesOfOwnedNodesDestroyThemOnRemovalAndAtTheEnd) {
  owned_entry::destroyed = 0;
  {
    qiv::avl_tree<owned_entry, qiv::u32_order> tree;
    for (std::uint32_t k = 1; k <= 7; ++k) tree.insert(k);
    EXPECT_EQ(tree.root()->depth(), 2u);
    EXPECT_TRUE(tree.remove(tree.root()->key));
    EXPECT_EQ(owned_entry::destroyed, 1);
    checked_depth(tree.root(), static_cast<owned_entry*>(nullptr));
    EXPECT_EQ(keys_forwards(tree), (std::vector<std::uint32_t>{1, 2, 3, 5, 6, 7}));
  }
  EXPECT_EQ(owned_entry::destroyed, 7);
}

TEST(TreeOrder, GuidsOrderByTheirBytesInMemoryNotByTheirFields) {
  const GUID small_field = {0x00000100, 0, 0, {0}};  // bytes 00 01 00 00 ...
  const GUID large_field = {0x00000001, 0, 0, {0}};  // bytes 01 00 00 00 ...
  EXPECT_EQ(qiv::guid_compare(small_field, large_field), -1);
  EXPECT_EQ(qiv::guid_compare(large_field, small_field), 1);
  GUID last_byte = small_field;
  last_byte.Data4[7] = 0xFF;
  EXPECT_EQ(qiv::guid_compare(small_field, last_byte), -1);
  EXPECT_EQ(qiv::guid_compare(last_byte, last_byte), 0);

  qiv::avl_map<GUID, int, qiv::guid_order> classes;
  classes.find_or_add(large_field, 1);
  classes.find_or_add(small_field, 2);
  EXPECT_EQ(classes.first()->value, 2);
  EXPECT_EQ(classes.find(large_field)->value, 1);
}

TEST(TreeOrder, TextKeysOrderByUnsignedBytesAndUnsignedKeysAboveTwoToThe31) {
  qiv::avl_set<qiv::string_small, qiv::text_order> texts;
  for (const char* t : {"b", "\xC3\xA9", "a", "ab", ""}) texts.insert(t);
  std::vector<std::string> order;
  for (auto* n = texts.first(); n; n = decltype(texts)::step(n, true)) order.push_back(n->key.get_ptr());
  EXPECT_EQ(order, (std::vector<std::string>{"", "a", "ab", "b", "\xC3\xA9"}));
  EXPECT_NE(texts.find("ab"), nullptr);  // searched with a plain text
  EXPECT_EQ(texts.find("abc"), nullptr);

  EXPECT_EQ(qiv::compare_u32(0x80000000u, 1u), 1);
  EXPECT_EQ(qiv::compare_u64(1, 0x8000000000000000ull), -1);
  EXPECT_EQ(qiv::sign_of_int(-7), -1);
  EXPECT_EQ(qiv::compare_double(0.5, 0.25), 1);
}

} // namespace
