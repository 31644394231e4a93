// A list of texts in heap nodes, newest first; for example the command-line
// items handed over by a second instance. Each node knows the link that
// points to it, so a node unlinks itself without a search.
#pragma once

#include <cstdint>

#include "foundation/string_small.h"

namespace qiv {

class string_list {
public:
  class node {
  public:
    const string_small& text() const noexcept { return text_; }
    node* next() const noexcept { return next_; }

  private:
    friend class string_list;
    explicit node(const string_small& text) : text_(text) {}

    string_small text_;
    node* next_ = nullptr;
    node** link_to_this_ = nullptr;
  };

  string_list() noexcept = default;
  string_list(const string_list&) = delete;
  string_list& operator=(const string_list&) = delete;
  ~string_list() { clear(); }

  // Links a copy of the text in at the head.
  void add_item(const string_small& text);
  // Unlinks and frees a node of this list.
  void remove(node* item) noexcept;
  void clear() noexcept;

  node* first() const noexcept { return head_; }
  std::uint32_t get_count() const noexcept { return count_; }

private:
  node* head_ = nullptr;
  std::uint32_t count_ = 0;
};

} // namespace qiv
