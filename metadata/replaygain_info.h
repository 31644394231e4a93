// The ReplayGain record of a track: album and track gain in dB, album and
// track peak as a linear sample ratio. Sentinels mark absent values so the
// record stays four plain floats that tag readers can fill piece by piece.
#pragma once

#include <cstddef>

struct replaygain_info {
  static constexpr float gain_absent = -1000.0f;
  static constexpr float peak_absent = -1.0f;

  float album_gain = gain_absent;
  float track_gain = gain_absent;
  float album_peak = peak_absent;
  float track_peak = peak_absent;

  // Any value other than the sentinel counts as present, a NaN included.
  static bool gain_present(float gain) noexcept { return gain != gain_absent; }
  static bool peak_present(float peak) noexcept { return peak != peak_absent; }

  void clear() noexcept { *this = replaygain_info{}; }

  // Stores `value` when `name` is one of the four replaygain_* tag names (any
  // case). Text that is not a number stores 0.0; a negative peak stores 0.0.
  // False, and the record unchanged, for any other name.
  bool set_from_field(const char* name, const char* value, std::size_t length);
};

// How many of the four values are present (0..4).
unsigned replaygain_count_present(const replaygain_info& record) noexcept;

// `primary` with each absent value taken from `fallback`.
replaygain_info replaygain_merge(const replaygain_info& primary, const replaygain_info& fallback) noexcept;
