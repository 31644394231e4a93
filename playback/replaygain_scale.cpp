#include "playback/replaygain_scale.h"

#include <cmath>

namespace {

// A damaged tag can carry "nan" or "inf", which would silence the item or
// fill it with NaN samples; such a value says nothing about loudness.
bool gain_usable(float gain) { return replaygain_info::gain_present(gain) && std::isfinite(gain); }
bool peak_usable(float peak) { return replaygain_info::peak_present(peak) && std::isfinite(peak); }

struct gain_and_peak {
  float gain = 0.0f;
  float peak = 1.0f;
  bool found = false;
};

gain_and_peak pick(float preferred_gain, float other_gain, float preferred_peak, float other_peak) {
  gain_and_peak result;
  if (gain_usable(preferred_gain)) result = {preferred_gain, 1.0f, true};
  else if (gain_usable(other_gain)) result = {other_gain, 1.0f, true};
  if (peak_usable(preferred_peak)) result.peak = preferred_peak;
  else if (peak_usable(other_peak)) result.peak = other_peak;
  return result;
}

}  // namespace

double replaygain_scale(const playback_gain_settings& settings, const replaygain_info& info) {
  gain_and_peak chosen;
  if (settings.source_mode == 1) chosen = pick(info.track_gain, info.album_gain, info.track_peak, info.album_peak);
  else if (settings.source_mode == 2) chosen = pick(info.album_gain, info.track_gain, info.album_peak, info.track_peak);
  const float preamp = chosen.found ? settings.preamp_with_info_db : settings.preamp_without_info_db;
  const float total = preamp + chosen.gain;
  double factor = 1.0;
  const std::uint32_t processing = settings.processing_mode;
  if (processing == 1 || processing == 2) factor = std::pow(10.0, static_cast<double>(total * 0.05f));
  if ((processing == 2 || processing == 3) && chosen.peak * factor > 1.0) factor = 1.0 / chosen.peak;
  // Samples are floats: a factor beyond their range (a damaged tag of
  // hundreds of dB) would turn every sample into infinity or NaN.
  if (!std::isfinite(static_cast<float>(factor))) factor = 1.0;
  return factor;
}
