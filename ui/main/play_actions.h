// Starting playback from the main window's list: the Play button, Enter, a
// double click and the item context menu all end here. The node that the
// list shows makes the playlist; the playback order gets it with its start
// item, and the playback front end starts.
#pragma once

#include <cstdint>
#include <vector>

#include "library/nav_node.h"

enum class play_mode : std::uint32_t {
  // One track selected: the whole list, from that track. Otherwise the
  // selection.
  start_here = 0,
  play_this = 1,
  random_order = 2,
};

struct play_request {
  track_source_ptr playlist;
  // Null: the playlist's first item.
  service_ptr<playback_item> start;
};

// The playlist and the start item of a play action; a playlist without a
// first item when there is nothing to play.
play_request play_items_prepare(nav_node& node, const wide_text_list& selection, play_mode mode);

// Main thread. Starts playback, or beeps and answers false when there is
// nothing to play. The random order may throw exception_win32 when the
// system's random source fails; nothing is started then.
bool play_items(nav_node& node, const wide_text_list& selection, play_mode mode);

// Every order of the names equally likely for uniformly random words: item i
// is swapped with one of the items from i on (j = i + word mod (n - i)).
// Needs as many words as names.
void shuffle_names(wide_text_list& names, const std::vector<std::uint32_t>& words);

// The selected entries in random order, each played once with its own
// tracks in their order.
track_source_ptr random_order(nav_node& node, const wide_text_list& selection);

// Whether the Play button is enabled.
bool play_enabled(const nav_node* node, const wide_text_list& selection);

// The kind of node (nav_kind) playback was last started from; -1 before the
// first start. The now-playing lines link into the library only after a
// start from a library view.
std::int32_t play_start_kind();
