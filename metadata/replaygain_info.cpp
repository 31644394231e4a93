#include "metadata/replaygain_info.h"

#include <algorithm>

#include "foundation/case_folding.h"
#include "foundation/number_parse.h"

namespace {

// Tag values longer than this are not numbers a tagger would write.
constexpr std::size_t longest_number_text = 127;

} // namespace

bool replaygain_info::set_from_field(const char* name, const char* value, std::size_t length) {
  float* target = nullptr;
  bool is_peak = false;
  if (qiv::compare_nocase(name, "replaygain_album_gain") == 0) {
    target = &album_gain;
  } else if (qiv::compare_nocase(name, "replaygain_album_peak") == 0) {
    target = &album_peak;
    is_peak = true;
  } else if (qiv::compare_nocase(name, "replaygain_track_gain") == 0) {
    target = &track_gain;
  } else if (qiv::compare_nocase(name, "replaygain_track_peak") == 0) {
    target = &track_peak;
    is_peak = true;
  } else {
    return false;
  }
  float parsed = static_cast<float>(qiv::string_to_float(value, std::min(length, longest_number_text)));
  // A negative peak is meaningless; 0 keeps it present without inventing a level.
  if (is_peak && parsed < 0.0f) parsed = 0.0f;
  *target = parsed;
  return true;
}

unsigned replaygain_count_present(const replaygain_info& record) noexcept {
  return unsigned(replaygain_info::gain_present(record.album_gain)) +
         unsigned(replaygain_info::gain_present(record.track_gain)) +
         unsigned(replaygain_info::peak_present(record.album_peak)) +
         unsigned(replaygain_info::peak_present(record.track_peak));
}

replaygain_info replaygain_merge(const replaygain_info& primary, const replaygain_info& fallback) noexcept {
  replaygain_info out = primary;
  if (!replaygain_info::gain_present(out.album_gain)) out.album_gain = fallback.album_gain;
  if (!replaygain_info::gain_present(out.track_gain)) out.track_gain = fallback.track_gain;
  if (!replaygain_info::peak_present(out.album_peak)) out.album_peak = fallback.album_peak;
  if (!replaygain_info::peak_present(out.track_peak)) out.track_peak = fallback.track_peak;
  return out;
}
