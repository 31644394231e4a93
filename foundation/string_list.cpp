#include "foundation/string_list.h"

namespace qiv {

void string_list::add_item(const string_small& text) {
  node* added = new node(text);
  added->next_ = head_;
  added->link_to_this_ = &head_;
  if (head_) head_->link_to_this_ = &added->next_;
  head_ = added;
  ++count_;
}

void string_list::remove(node* item) noexcept {
  *item->link_to_this_ = item->next_;
  if (item->next_) item->next_->link_to_this_ = item->link_to_this_;
  --count_;
  delete item;
}

void string_list::clear() noexcept {
  while (head_) remove(head_);
}

} // namespace qiv
