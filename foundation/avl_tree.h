// Balanced ordered trees (AVL): every map and set of the system.
//
// A node carries its key (and value, for maps), links to its two children and
// to its parent (so iteration needs no stack) and its depth: 0 without
// children, else 1 + the greater depth of its children. After every insert or
// remove, each node's children differ in height by at most one, so lookups,
// inserts and removals stay logarithmic. Keys are unique within a tree and
// ordered by a three-way comparator.
//
// Most trees hold counted nodes: the tree holds one reference on each (through
// its parent's child link or the root), and a node that a caller still
// references survives its removal. A few trees own plain nodes outright
// (avl_owned_node); the rules are the same.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "foundation/byte_string.h"
#include "foundation/comparators.h"
#include "foundation/refcounted.h"

namespace qiv {

template <class Node, class Compare>
class avl_tree;

template <class Node, class Link>
class avl_links {
public:
  using link_type = Link;

  Node* left() const noexcept { return left_.get(); }
  Node* right() const noexcept { return right_.get(); }
  Node* parent() const noexcept { return parent_; }
  std::uint32_t depth() const noexcept { return depth_; }

protected:
  avl_links() noexcept = default;
  // A copy of a node is not in any tree.
  avl_links(const avl_links&) noexcept {}
  avl_links& operator=(const avl_links&) noexcept { return *this; }

private:
  template <class, class>
  friend class avl_tree;

  Link left_;
  Link right_;
  Node* parent_ = nullptr;
  std::uint32_t depth_ = 0;
};

// Base of a counted node: class my_node : public qiv::avl_counted_node<my_node>,
// with a member `key` and a constructor from a key.
template <class Node>
class avl_counted_node : public refcounted_object, public avl_links<Node, ref_ptr<Node>> {};

// Base of a node that its tree owns outright.
template <class Node>
class avl_owned_node : public avl_links<Node, std::unique_ptr<Node>> {};

template <class Key, class Value>
class avl_map_node final : public avl_counted_node<avl_map_node<Key, Value>> {
public:
  template <class K>
  explicit avl_map_node(const K& k) : key(k) {}
  const Key key;
  Value value{};
};

template <class Key>
class avl_set_node final : public avl_counted_node<avl_set_node<Key>> {
public:
  template <class K>
  explicit avl_set_node(const K& k) : key(k) {}
  const Key key;
};

// A comparator function as a tree's order: avl_map<K, V, order_by<fn>>.
template <auto Compare>
struct order_by {
  template <class A, class B>
  int operator()(const A& a, const B& b) const {
    return Compare(a, b);
  }
};

using guid_order = order_by<guid_compare>;
using u32_order = order_by<compare_u32>;
using u64_order = order_by<compare_u64>;

// Byte-wise order of texts (strcmp_bytes); keys may be texts or string
// objects, and a map keyed by string objects can be searched with a plain text.
struct text_order {
  static const char* text_of(const char* text) { return text; }
  template <class S>
  static const char* text_of(const S& text) {
    return text.get_ptr();
  }
  template <class A, class B>
  int operator()(const A& a, const B& b) const {
    return strcmp_bytes(text_of(a), text_of(b));
  }
};

template <class Node, class Compare>
class avl_tree {
  using link = typename Node::link_type;

public:
  struct insert_result {
    Node* node;
    bool added;
  };

  avl_tree() noexcept = default;
  avl_tree(const avl_tree&) = delete;
  avl_tree& operator=(const avl_tree&) = delete;
  ~avl_tree() { clear(); }

  Node* root() const noexcept { return root_.get(); }
  bool is_empty() const noexcept { return !root_; }

  // Finds the key or adds a node for it (maps: with a value-initialised
  // value). An allocation failure happens before the tree changes.
  template <class K>
  insert_result insert(const K& key) {
    insert_result result{nullptr, false};
    insert_into(root_, nullptr, key, result);
    return result;
  }

  // Inserts the key; the value is stored only when the node is new. Answers
  // the node's value.
  template <class K, class V>
  auto& find_or_add(const K& key, V&& value) {
    insert_result result = insert(key);
    if (result.added) result.node->value = std::forward<V>(value);
    return result.node->value;
  }

  template <class K>
  Node* find(const K& key) const {
    Node* node = root_.get();
    while (node) {
      const int order = Compare{}(node->key, key);
      if (order == 0) return node;
      node = order > 0 ? node->left_.get() : node->right_.get();
    }
    return nullptr;
  }

  // Answers whether a node was removed. The removed node leaves with its links
  // cleared, so a caller that still holds it cannot step back into the tree.
  template <class K>
  bool remove(const K& key) {
    return remove_from(root_, key);
  }

  // The leftmost node, or null for an empty tree.
  Node* first() const noexcept { return root_ ? leftmost(root_.get()) : nullptr; }

  // The next node in key order (forward) or the previous one; null at the end.
  static Node* step(const Node* node, bool forward) noexcept {
    const link& inner = forward ? node->right_ : node->left_;
    if (inner) return forward ? leftmost(inner.get()) : rightmost(inner.get());
    const Node* child = node;
    Node* up = node->parent_;
    while (up && (forward ? up->right_ : up->left_).get() == child) {
      child = up;
      up = up->parent_;
    }
    return up;
  }

  std::uint32_t count() const noexcept { return count_nodes(root_.get()); }

  // Drops the tree's reference on every node, deepest first, and clears each
  // node's links: a node that a caller still holds survives, detached.
  void clear() noexcept {
    if (!root_) return;
    release_subtree(root_.get());
    root_.reset();
  }

private:
  static std::int32_t height(const link& slot) noexcept { return slot ? static_cast<std::int32_t>(slot->depth_) + 1 : 0; }
  static std::int32_t balance(const Node* node) noexcept { return height(node->right_) - height(node->left_); }
  static void update_depth(Node* node) noexcept {
    node->depth_ = static_cast<std::uint32_t>(std::max(height(node->left_), height(node->right_)));
  }

  static Node* leftmost(Node* node) noexcept {
    while (node->left_) node = node->left_.get();
    return node;
  }
  static Node* rightmost(Node* node) noexcept {
    while (node->right_) node = node->right_.get();
    return node;
  }

  static std::uint32_t count_nodes(const Node* node) noexcept {
    return node ? count_nodes(node->left_.get()) + count_nodes(node->right_.get()) + 1 : 0;
  }

  // The node in `slot` goes down to the left; its right child takes its place.
  static void rotate_left(link& slot) noexcept {
    link lowered = std::move(slot);
    link raised = std::move(lowered->right_);
    lowered->right_ = std::move(raised->left_);
    if (lowered->right_) lowered->right_->parent_ = lowered.get();
    raised->parent_ = lowered->parent_;
    lowered->parent_ = raised.get();
    update_depth(lowered.get());
    raised->left_ = std::move(lowered);
    update_depth(raised.get());
    slot = std::move(raised);
  }

  static void rotate_right(link& slot) noexcept {
    link lowered = std::move(slot);
    link raised = std::move(lowered->left_);
    lowered->left_ = std::move(raised->right_);
    if (lowered->left_) lowered->left_->parent_ = lowered.get();
    raised->parent_ = lowered->parent_;
    lowered->parent_ = raised.get();
    update_depth(lowered.get());
    raised->right_ = std::move(lowered);
    update_depth(raised.get());
    slot = std::move(raised);
  }

  static void rebalance(link& slot) noexcept {
    Node* node = slot.get();
    const std::int32_t node_balance = balance(node);
    if (node_balance > 1) {
      if (balance(node->right_.get()) < 0) rotate_right(node->right_);
      rotate_left(slot);
    } else if (node_balance < -1) {
      if (balance(node->left_.get()) > 0) rotate_left(node->left_);
      rotate_right(slot);
    }
  }

  template <class K>
  static void insert_into(link& slot, Node* parent, const K& key, insert_result& result) {
    Node* node = slot.get();
    if (!node) {
      slot = link(new Node(key));
      slot->parent_ = parent;
      result = {slot.get(), true};
      return;
    }
    const int order = Compare{}(node->key, key);
    if (order == 0) {
      result = {node, false};
      return;
    }
    insert_into(order > 0 ? node->left_ : node->right_, node, key, result);
    if (result.added) {
      update_depth(node);
      rebalance(slot);
    }
  }

  // Takes the leftmost node of the subtree in `slot` out of it, fixing depths
  // and balance on the way back.
  static link detach_leftmost(link& slot) noexcept {
    Node* node = slot.get();
    if (node->left_) {
      link found = detach_leftmost(node->left_);
      update_depth(node);
      rebalance(slot);
      return found;
    }
    link found = std::move(slot);
    slot = std::move(found->right_);
    if (slot) slot->parent_ = found->parent_;
    return found;
  }

  template <class K>
  static bool remove_from(link& slot, const K& key) {
    Node* node = slot.get();
    if (!node) return false;
    const int order = Compare{}(node->key, key);
    if (order != 0) {
      if (!remove_from(order > 0 ? node->left_ : node->right_, key)) return false;
      update_depth(node);
      rebalance(slot);
      return true;
    }
    // The tree's reference stays here until the node is out of the tree.
    link removed = std::move(slot);
    Node* parent = removed->parent_;
    if (!removed->left_) {
      slot = std::move(removed->right_);
      if (slot) slot->parent_ = parent;
    } else if (!removed->right_) {
      slot = std::move(removed->left_);
      slot->parent_ = parent;
    } else {
      // The smallest key of the right subtree takes the removed node's place.
      link successor = detach_leftmost(removed->right_);
      successor->left_ = std::move(removed->left_);
      successor->left_->parent_ = successor.get();
      successor->right_ = std::move(removed->right_);
      if (successor->right_) successor->right_->parent_ = successor.get();
      successor->parent_ = parent;
      update_depth(successor.get());
      slot = std::move(successor);
      rebalance(slot);
    }
    removed->parent_ = nullptr;
    removed->depth_ = 0;
    return true;
  }

  static void release_subtree(Node* node) noexcept {
    if (node->left_) release_subtree(node->left_.get());
    if (node->right_) release_subtree(node->right_.get());
    node->left_.reset();
    node->right_.reset();
    node->parent_ = nullptr;
    node->depth_ = 0;
  }

  link root_;
};

template <class Key, class Value, class Compare>
using avl_map = avl_tree<avl_map_node<Key, Value>, Compare>;

template <class Key, class Compare>
using avl_set = avl_tree<avl_set_node<Key>, Compare>;

} // namespace qiv
