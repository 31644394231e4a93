// APEv2 item areas holding runs of zero bytes between or behind their
// items. Earlier builds of this program left zeros behind the items of the
// tags they wrote, and other taggers append their new items behind whatever
// the area holds: the runs then stand between items, where a reader that
// takes the items back to back meets an item without a key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/tags/apev2.h"

namespace apev2 {

// The `count` items of the `size` bytes at `area`, read with runs of zeros
// allowed before, between and behind them, so that the items and the runs
// fill the area exactly. Only items with keys every reader accepts count
// here: where a run ends is found by the key of the item behind it. False,
// with `items` untouched, when no such reading exists. `bytes_examined`,
// when given, receives how many bytes the search looked at (a byte looked
// at twice counts twice): its cost, which stays linear in `size`.
bool parse_items_across_zero_runs(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count,
                                  item_list& items, std::size_t* bytes_examined = nullptr);

}  // namespace apev2
