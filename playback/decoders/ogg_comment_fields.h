// Turns the NAME=value comments of an Ogg Vorbis or Opus comment header into
// the metadata fields of a track_info: pictures stay out (they are read
// elsewhere), other programs' spellings of four names are folded into ours,
// ReplayGain entries go to the gain record.
#pragma once

#include <cstddef>
#include <string>

#include "metadata/tags/vorbis_comment_map.h"

class track_info;

class ogg_comment_fields {
public:
  explicit ogg_comment_fields(track_info& info) : info_(info) {}

  // Splits an entry at its first "="; false (nothing taken) for text that
  // is not UTF-8 or has no name.
  static bool split(const char* text, std::size_t length, std::string& name, const char*& value,
                    std::size_t& value_length);
  // Whether the entry is a picture, which the fields leave out. Decided by
  // the name alone: a picture runs to tens of kilobytes, and checking all of
  // it as text would cost more than reading the rest of the file.
  static bool is_picture(const char* text, std::size_t length);
  void add(const char* text, std::size_t length);
  // Replaces the info's metadata fields by the ones added.
  void finish();

private:
  track_info& info_;
  vorbis_comment_map fields_;
};
