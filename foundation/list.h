// Doubly linked lists.
//
// list<Node>: counted nodes that carry their own links, so a caller can hold a
// node and remove it in constant time; the list holds one reference on each
// node it contains. A node belongs to at most one list at a time.
// plain_list<T>: heap nodes that own one element each, for simple queues.
#pragma once

#include <cstdint>
#include <utility>

#include "foundation/exceptions.h"
#include "foundation/refcounted.h"

namespace qiv {

template <class Node>
class list;

// Base of a counted list node: class my_node : public qiv::list_node<my_node>.
template <class Node>
class list_node : public refcounted_object {
public:
  Node* previous() const noexcept { return previous_; }
  Node* next() const noexcept { return next_; }

protected:
  list_node() noexcept = default;
  // A copy is not in any list.
  list_node(const list_node& other) noexcept : refcounted_object(other) {}
  list_node& operator=(const list_node&) noexcept { return *this; }

private:
  friend class list<Node>;
  Node* previous_ = nullptr;
  Node* next_ = nullptr;
};

template <class Node>
class list {
public:
  list() noexcept = default;
  list(const list&) = delete;
  list& operator=(const list&) = delete;
  ~list() { clear(); }

  Node* first() const noexcept { return first_; }
  Node* last() const noexcept { return last_; }
  std::uint32_t get_count() const noexcept { return count_; }
  bool is_empty() const noexcept { return count_ == 0; }

  // Takes a reference on the node and links it in at the tail. A node that is
  // still linked into a list would corrupt both lists: that is refused.
  void push_back(Node* node) {
    if (node->previous_ || node->next_ || (first_ && first_ == node)) throw_bug_check();
    node->add_ref();
    node->previous_ = last_;
    node->next_ = nullptr;
    ++count_;
    if (!first_) {
      first_ = last_ = node;
    } else {
      last_->next_ = node;
      last_ = node;
    }
  }

  // Links the node's neighbours past it, clears its links and releases the
  // list's reference. A node that is not in this list is refused before
  // anything changes.
  void remove(Node* node) {
    const bool linked_before = node->previous_ ? node->previous_->next_ == node : first_ == node;
    const bool linked_after = node->next_ ? node->next_->previous_ == node : last_ == node;
    if (!linked_before || !linked_after) throw_bug_check();
    if (node->previous_)
      node->previous_->next_ = node->next_;
    else
      first_ = node->next_;
    if (node->next_)
      node->next_->previous_ = node->previous_;
    else
      last_ = node->previous_;
    node->previous_ = node->next_ = nullptr;
    --count_;
    node->release();
  }

  void clear() noexcept {
    while (first_) {
      Node* node = first_;
      first_ = node->next_;
      if (first_)
        first_->previous_ = nullptr;
      else
        last_ = nullptr;
      node->previous_ = node->next_ = nullptr;
      --count_;
      node->release();
    }
  }

private:
  Node* first_ = nullptr;
  Node* last_ = nullptr;
  std::uint32_t count_ = 0;
};

template <class T>
class plain_list {
public:
  plain_list() noexcept = default;
  plain_list(const plain_list&) = delete;
  plain_list& operator=(const plain_list&) = delete;
  ~plain_list() { clear(); }

  std::uint32_t get_count() const noexcept { return count_; }
  bool is_empty() const noexcept { return count_ == 0; }

  // An allocation failure leaves the list as it was.
  void push_back(T value) {
    node* added = new node{std::move(value), last_, nullptr};
    if (last_)
      last_->next = added;
    else
      first_ = added;
    last_ = added;
    ++count_;
  }

  // Moves the first element out and frees its node; false when empty.
  bool pop_front(T& out) {
    if (!first_) return false;
    node* taken = first_;
    out = std::move(taken->value);
    first_ = taken->next;
    if (first_)
      first_->previous = nullptr;
    else
      last_ = nullptr;
    --count_;
    delete taken;
    return true;
  }

  // Unlinks every node, destroying its element and freeing the node.
  void clear() noexcept {
    while (node* taken = first_) {
      first_ = taken->next;
      delete taken;
    }
    last_ = nullptr;
    count_ = 0;
  }

private:
  struct node {
    T value;
    node* previous;
    node* next;
  };

  node* first_ = nullptr;
  node* last_ = nullptr;
  std::uint32_t count_ = 0;
};

} // namespace qiv
