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
