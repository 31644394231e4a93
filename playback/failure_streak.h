// Items that failed one after another, measured against the list they come
// from. With repeat on, the order goes round a list for ever; once as many
// items have failed in a row as the list holds, every one of them has failed
// and going round again would only fail again, in silence.
#pragma once

#include <cstdint>

#include "playback/playback_order.h"

class failure_streak {
public:
  // A new start: nothing has failed yet, and the engine's ids begin again.
  void reset() noexcept;
  // The engine's item `id` of `source` has been heard to its end (the next
  // one is heard now); `failed` when it failed before any of its sound, else
  // it played and the streak ends. Each id counts once. Answers whether
  // every item of the list has now failed in a row.
  bool item_done(const service_ptr<playback_item_list>& source, std::int32_t id, bool failed);

private:
  // The list's items are counted one step ahead of the failures, so a long
  // list (or one that lists folders as it is walked) costs nothing more
  // than its failures do.
  bool failures_cover(const service_ptr<playback_item_list>& source);

  std::int32_t last_id_ = -1;
  std::uint64_t failures_ = 0;
  service_ptr<playback_item_list> counted_list_;
  service_ptr<playback_item> count_cursor_;
  std::uint64_t counted_ = 0;
  bool count_complete_ = false;
};
