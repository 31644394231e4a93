// Message filters: code that must see messages before they are translated
// and dispatched (keyboard handling of modeless windows, popups) registers a
// filter with the message loop for a range of message numbers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/list.h"

class message_filter {
public:
  // Answers true to consume the message: it is then neither translated nor
  // dispatched, and no older filter sees it.
  virtual bool filter(MSG& message) = 0;

protected:
  ~message_filter() = default;
};

// The registrations, asked newest first. Main thread only.
class message_filter_list {
public:
  message_filter_list() = default;
  message_filter_list(const message_filter_list&) = delete;
  message_filter_list& operator=(const message_filter_list&) = delete;

  // The filter sees message numbers in [lowest, highest], both inclusive. A
  // filter may be registered several times.
  void add(message_filter* filter, UINT lowest, UINT highest);
  // Removes every registration of the filter.
  void remove(message_filter* filter) noexcept;

  // Asks the filters whose range holds the message; answers whether one
  // consumed it. A filter may add or remove filters, itself included, while
  // it is asked: a removed one is not asked afterwards, an added one from the
  // next message on.
  bool offer(MSG& message);

private:
  struct registration final : qiv::list_node<registration> {
    message_filter* filter = nullptr;
    UINT lowest = 0;
    UINT highest = 0;
    bool removed = false;
  };

  void purge_removed() noexcept;

  // Oldest first: the walk goes from the last one back.
  qiv::list<registration> registrations_;
  // While a walk runs, removals only mark their nodes, so that the walk can
  // still step from a removed node to the next one.
  std::uint32_t walks_in_progress_ = 0;
  bool purge_pending_ = false;
};
