// The one text form of ReplayGain values that every tag writer stores
// (APEv2 items, Vorbis comments, FLAC comment blocks, cue REM lines, ID3v2
// fields): gains as "+1.25 dB", peaks as "0.987654".
#pragma once

#include <string>

#include "metadata/replaygain_info.h"

// True and the text when the gain is present; false and an empty text when absent.
bool replaygain_format_gain(std::string& out, float gain);
// True and the text when the peak is present; false and an empty text when absent.
bool replaygain_format_peak(std::string& out, float peak);
// Marks all four values absent.
void replaygain_reset(replaygain_info& record) noexcept;

// One of the four values under the field name writers store it with.
struct replaygain_field {
  const char* name;
  float replaygain_info::*value;
  bool is_peak;
};
inline constexpr replaygain_field replaygain_fields[] = {
    {"replaygain_album_gain", &replaygain_info::album_gain, false},
    {"replaygain_album_peak", &replaygain_info::album_peak, true},
    {"replaygain_track_gain", &replaygain_info::track_gain, false},
    {"replaygain_track_peak", &replaygain_info::track_peak, true},
};
// The field of that name (ASCII letters folded); null for any other name.
const replaygain_field* replaygain_find_field(const char* name);
// The text of `field`'s value in `record`, as replaygain_format_gain or
// replaygain_format_peak gives it.
bool replaygain_format_field(std::string& out, const replaygain_info& record, const replaygain_field& field);
// True when `stored`, read back, gives the value whose text is `formatted`
// ("-3.14159 dB" gives "-3.14 dB"): a writer then stores `stored` again, so
// a value the edit left alone keeps the digits its tagger wrote.
bool replaygain_text_reads_as(const replaygain_field& field, const std::string& stored, const std::string& formatted);
