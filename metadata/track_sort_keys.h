// Sorting tracks by the text a title-formatting script gives for each, as the
// list views' "sort by" does: the keys are computed on every processor.
#pragma once

#include <cstdint>
#include <span>

#include "foundation/sort_by_text_parallel.h"
#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_script.h"
#include "metadata/track_handle.h"

// Fills `order` (one slot per handle) with the handle indices in the natural
// text order of their keys, equal keys by index. The script sees each track's
// fields, `extra`'s fields and functions first when given, and $rand().
// `extra` is called from several threads at once. `timing`, when given,
// receives how long the two steps took.
void sort_tracks_by_script(std::span<std::uint32_t> order, const track_handle_list& handles,
                           const title_script& script, field_provider* extra = nullptr,
                           qiv::text_sort_timing* timing = nullptr);
