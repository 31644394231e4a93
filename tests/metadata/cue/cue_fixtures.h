// Cue sheets in the form common CD rippers export them, and what the cue tests share.
#pragma once

#include <string>

#include "foundation/string_buffer.h"
#include "metadata/track_info.h"

namespace cue_test {

// One image file, sheet-level REM lines, CD-TEXT file, flags, gaps as INDEX 00 and PREGAP.
inline constexpr const char ripper_sheet[] =
    "REM GENRE Jazz\r\n"
    "REM DATE 1998\r\n"
    "REM DISCID 2A0B5C03\r\n"
    "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
    "CATALOG 0724384260927\r\n"
    "PERFORMER \"The Quartet\"\r\n"
    "TITLE \"Blue Rooms\"\r\n"
    "REM REPLAYGAIN_ALBUM_GAIN -6.50 dB\r\n"
    "REM REPLAYGAIN_ALBUM_PEAK 0.950000\r\n"
    "CDTEXTFILE \"Blue Rooms.cdt\"\r\n"
    "FILE \"Blue Rooms.wav\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n"
    "    TITLE \"Opening\"\r\n"
    "    PERFORMER \"The Quartet\"\r\n"
    "    ISRC USXX19800001\r\n"
    "    FLAGS DCP\r\n"
    "    REM REPLAYGAIN_TRACK_GAIN -5.00 dB\r\n"
    "    REM REPLAYGAIN_TRACK_PEAK 0.900000\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n"
    "    TITLE \"Second\"\r\n"
    "    PERFORMER \"Guest Singer\"\r\n"
    "    REM COMPOSER \"Someone\"\r\n"
    "    REM DATE 2001\r\n"
    "    INDEX 00 01:00:00\r\n"
    "    INDEX 01 01:02:00\r\n"
    "    INDEX 02 01:12:00\r\n"
    "  TRACK 03 AUDIO\r\n"
    "    TITLE Say \"Hi\"\r\n"
    "    PREGAP 00:02:00\r\n"
    "    INDEX 01 03:00:00\r\n";

// One file per track, of three types, as rippers write for separate files.
inline constexpr const char multi_file_sheet[] =
    "REM GENRE Rock\n"
    "PERFORMER \"Band\"\n"
    "TITLE \"Split\"\n"
    "FILE \"01 - One.flac\" FLAC\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"One\"\n"
    "    INDEX 01 00:00:00\n"
    "FILE \"02 - Two.mp3\" MP3\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Two\"\n"
    "    INDEX 00 00:00:00\n"
    "    INDEX 01 00:01:50\n"
    "FILE \"03 - Three.wv\" WAVPACK\n"
    "  TRACK 03 AUDIO\n"
    "    TITLE \"Three\"\n"
    "    INDEX 01 00:00:00\n";

// The field's values joined by ", ", or "<absent>".
inline std::string field(const track_info& info, const char* name) {
  qiv::string_buffer text;
  return info.get_field_text(name, text) ? text.get_ptr() : "<absent>";
}

}  // namespace cue_test
