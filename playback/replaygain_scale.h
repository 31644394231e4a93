// The one linear factor by which every sample of an item is multiplied before
// the DSP chain, from the item's ReplayGain values and the user's settings.
#pragma once

#include "core/config_item_kinds.h"
#include "metadata/replaygain_info.h"

// Source mode: 1 prefers the track values, 2 the album values, any other
// ignores the item's values. Processing mode: 1 applies the gain, 2 applies
// it and prevents clipping, 3 only prevents clipping. 1.0 leaves the samples
// as they are. Gains and peaks that are not finite numbers count as absent.
double replaygain_scale(const playback_gain_settings& settings, const replaygain_info& info);
