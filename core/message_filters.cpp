#include "core/message_filters.h"

void message_filter_list::add(message_filter* filter, UINT lowest, UINT highest) {
  if (filter == nullptr) qiv::throw_invalid_params();
  qiv::ref_ptr<registration> node(new registration());
  node->filter = filter;
  node->lowest = lowest;
  node->highest = highest;
  registrations_.push_back(node.get());
}

void message_filter_list::remove(message_filter* filter) noexcept {
  registration* node = registrations_.first();
  while (node != nullptr) {
    registration* next = node->next();
    if (node->filter == filter && !node->removed) {
      if (walks_in_progress_ > 0) {
        node->removed = true;
        purge_pending_ = true;
      } else {
        registrations_.remove(node);
      }
    }
    node = next;
  }
}

bool message_filter_list::offer(MSG& message) {
  struct walk_scope {
    message_filter_list& list;
    explicit walk_scope(message_filter_list& owner) : list(owner) { ++list.walks_in_progress_; }
    ~walk_scope() {
      if (--list.walks_in_progress_ == 0 && list.purge_pending_) list.purge_removed();
    }
  } walking(*this);

  for (registration* node = registrations_.last(); node != nullptr; node = node->previous()) {
    if (node->removed || message.message < node->lowest || message.message > node->highest) continue;
    if (node->filter->filter(message)) return true;
  }
  return false;
}

void message_filter_list::purge_removed() noexcept {
  purge_pending_ = false;
  registration* node = registrations_.first();
  while (node != nullptr) {
    registration* next = node->next();
    if (node->removed) registrations_.remove(node);
    node = next;
  }
}
