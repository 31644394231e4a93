// The payloads of ID3v2 frames that carry text: the encoding byte and its
// four encodings (0 ISO-8859-1, 1 UTF-16 with byte-order mark, 2 UTF-16
// big-endian, 3 UTF-8), text frames with several strings, comments and
// lyrics with a language and a description, URL frames and attached
// pictures. Inside the program every text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/tags/id3v2_tag.h"

// One string of `length` bytes up to its first terminator, as UTF-8. Strict
// mode refuses what no reader can take as the encoding says (UTF-16 without
// a mark, UTF-8 that is not valid); ISO-8859-1 of any bytes is text.
std::string id3v2_decode_text(const std::uint8_t* bytes, std::size_t length, std::uint8_t encoding, bool strict);

// Any number: the payload's size bounds them.
std::uint32_t id3v2_text_value_count(const id3parser::frame& f);
// The strings up to the last non-empty one: terminators that end a payload
// after its last string are padding to readers that stop at the first one.
std::uint32_t id3v2_text_value_count_without_trailing_empties(const id3parser::frame& f);
// String `index` of a text payload; for "COMM" and "USLT" string 0 is the
// description and string 1 the text.
std::string id3v2_text_value(const id3parser::frame& f, std::uint32_t index, bool strict);

// The strings of a text payload in turn, each as id3v2_text_value gives
// it: a frame of many values is read in one pass instead of once more for
// each of them. The frame must outlive the object.
class id3v2_text_strings {
public:
  // At string `first`; id3parser::parseError for a payload that holds no
  // text, or fewer strings.
  explicit id3v2_text_strings(const id3parser::frame& f, std::uint32_t first = 0);
  // String `first` at the first call, then each following one, as many as
  // id3v2_text_value_count gives (the empty strings between two others
  // come last); id3parser::parseError when none follows.
  std::string next(bool strict);

private:
  std::string read(bool strict) const;
  void skip();

  bool started_ = false;
  const std::uint8_t* data_;
  std::size_t size_;
  std::uint8_t encoding_ = 0;
  std::size_t unit_ = 1;
  std::size_t position_ = 0;
  std::size_t empty_strings_left_ = 0;
};
std::string id3v2_url_value(const id3parser::frame& f);
std::string id3v2_wxxx_url(const id3parser::frame& f);

// Encodings 0, 1 and 3; for "COMM" and "USLT" the language "eng" comes first.
void id3v2_set_text(id3parser::frame& f, const std::string& text, std::uint8_t encoding);
// A further string in the frame's own encoding.
void id3v2_append_text(id3parser::frame& f, const std::string& text);
void id3v2_set_url(id3parser::frame& f, const std::string& url);
// Encoding 0 when the text is plain ASCII; otherwise `fallback_encoding`,
// so that dates and numbers with other characters are not mangled.
void id3v2_set_ascii_text(id3parser::frame& f, const std::string& text, std::uint8_t fallback_encoding);

struct id3v2_picture {
  std::uint8_t type = 0;
  std::size_t data_offset = 0;
  std::size_t data_length = 0;
};
id3v2_picture id3v2_parse_picture(const id3parser::frame& f);

// Converts the frames for `version`: pictures stay, comments and lyrics are
// re-encoded where the version lacks their encoding, everything else goes
// (the mapping writes text frames anew from the fields).
void id3v2_downgrade_frames(id3parser::tag& t, unsigned version);
// Comments and lyrics in an encoding that version 2.3 lacks take UTF-16
// with a mark and keep their language; one that cannot be decoded goes.
void id3v2_reencode_comments_for_v23(id3parser::tag& t);
