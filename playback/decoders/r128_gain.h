// Gains given relative to EBU R128's reference (-23 LUFS), as Opus and its
// comments store them, against ReplayGain's reference (89 dB SPL, -18 LUFS).
#pragma once

// Added to an R128 gain it gives the ReplayGain one.
inline constexpr double r128_to_replaygain_db = 5.0;
