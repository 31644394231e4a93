#include "metadata/tags/id3v1.h"

#include <cstring>
#include <string>

#include "foundation/byte_compare.h"
#include "foundation/code_page_text.h"
#include "foundation/text_cut.h"
#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"

namespace {

struct text_slot {
  const char* field;
  std::size_t offset;
  std::size_t width;
};

constexpr text_slot slots[] = {{"title", 3, 30}, {"artist", 33, 30}, {"album", 63, 30}, {"date", 93, 4}};
constexpr std::size_t comment_offset = 97;
constexpr std::size_t comment_width = 30;
constexpr std::size_t comment_width_with_track = 28;

std::string read_text(const std::uint8_t* bytes, std::size_t width) {
  const char* text = reinterpret_cast<const char*>(bytes);
  std::size_t length = 0;
  while (length < width && text[length] != 0) ++length;
  while (length > 0 && text[length - 1] == ' ') --length;
  return qiv::code_page_to_utf8(text, length, qiv::code_page_ansi);
}

void write_text(std::uint8_t* bytes, std::size_t width, const track_info& info, const char* field) {
  const std::uint32_t index = info.find_field(field);
  if (index == track_info::not_found || info.field_value_count(index) == 0) return;
  const char* value = info.field_value(index, 0);
  const std::string ansi = qiv::utf8_to_code_page_cut(value, std::strlen(value), qiv::code_page_ansi, width);
  std::memcpy(bytes, ansi.data(), ansi.size());
}

// The track number as written: 1 to 127, else 0 (none).
unsigned track_byte(const track_info& info) {
  const std::uint32_t index = info.find_field("tracknumber");
  if (index == track_info::not_found) return 0;
  const char* text = info.field_value(index, 0);
  unsigned long value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9' && value < 1000; ++p) value = value * 10 + unsigned(*p - '0');
  return value >= 1 && value <= 127 ? unsigned(value) : 0;
}

// A byte past the list (but 255, none) names no genre the player knows; it
// shows as its number, so that the byte stays through a rewrite.
constexpr unsigned first_unnamed_genre_byte = id3v1_genre_count;
constexpr unsigned no_genre_byte = 255;

// The genre's byte: its index in the list, or the number an unnamed byte
// shows as; else 255 (none).
std::uint8_t genre_byte_of(const char* genre) {
  const int index = id3v1_genre_index(genre);
  if (index >= 0) return std::uint8_t(index);
  unsigned number = 0;
  const char* p = genre;
  for (; *p >= '0' && *p <= '9' && number < no_genre_byte; ++p) number = number * 10 + unsigned(*p - '0');
  const bool as_shown = *p == 0 && p != genre && genre[0] != '0';
  return as_shown && number >= first_unnamed_genre_byte && number < no_genre_byte ? std::uint8_t(number)
                                                                                   : std::uint8_t(no_genre_byte);
}

std::uint8_t genre_byte(const track_info& info) {
  const std::uint32_t genre = info.find_field("genre");
  if (genre == track_info::not_found) return no_genre_byte;
  return genre_byte_of(info.field_value(genre, 0));
}

bool all_ascii_within(const char* value, std::size_t max_length) {
  const std::size_t length = std::strlen(value);
  if (length == 0 || length > max_length) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(value[i]) >= 0x80) return false;
  return true;
}

}  // namespace

bool id3v1_is_block(const std::uint8_t* bytes) { return std::memcmp(bytes, "TAG", 3) == 0; }

void id3v1_parse_block(const std::uint8_t* bytes, track_info& info) {
  for (const text_slot& slot : slots) {
    const std::string text = read_text(bytes + slot.offset, slot.width);
    if (!text.empty()) info.set_field(slot.field, track_info::until_nul, text.c_str(), text.size());
  }
  const std::string comment = read_text(bytes + comment_offset, comment_width);
  if (!comment.empty()) info.set_field("comment", track_info::until_nul, comment.c_str(), comment.size());
  if (bytes[125] == 0 && bytes[126] != 0) {
    const std::string track = std::to_string(bytes[126]);
    info.set_field("tracknumber", track_info::until_nul, track.c_str(), track.size());
  }
  if (bytes[127] < id3v1_genre_count) {
    info.set_field("genre", track_info::until_nul, id3v1_genre_list[bytes[127]], track_info::until_nul);
  } else if (bytes[127] != no_genre_byte) {
    const std::string number = std::to_string(bytes[127]);
    info.set_field("genre", track_info::until_nul, number.c_str(), number.size());
  }
  info.set_tech("tagtype", track_info::until_nul, "id3v1", track_info::until_nul);
}

id3v1_block id3v1_render_block(const track_info& info) {
  id3v1_block block{};
  std::memcpy(block.data(), "TAG", 3);
  for (const text_slot& slot : slots) write_text(block.data() + slot.offset, slot.width, info, slot.field);
  const bool has_track_field = info.find_field("tracknumber") != track_info::not_found;
  write_text(block.data() + comment_offset, has_track_field ? comment_width_with_track : comment_width, info,
             "comment");
  const unsigned track = track_byte(info);
  if (track != 0) {
    block[125] = 0;
    block[126] = std::uint8_t(track);
  }
  block[127] = genre_byte(info);
  return block;
}

id3v1_block id3v1_write_changes(const id3v1_block& old, const track_info& info, const tag_changes& changes) {
  id3v1_block block = old;
  for (const text_slot& slot : slots) {
    if (!changes.touches(slot.field)) continue;
    std::memset(block.data() + slot.offset, 0, slot.width);
    write_text(block.data() + slot.offset, slot.width, info, slot.field);
  }
  if (changes.touches("tracknumber")) {
    const unsigned track = track_byte(info);
    // A track number takes the comment's last two bytes.
    if (track != 0) {
      block[125] = 0;
      block[126] = std::uint8_t(track);
    } else if (block[125] == 0) {
      block[126] = 0;
    }
  }
  if (changes.touches("comment")) {
    const bool has_track_byte = block[125] == 0 && block[126] != 0;
    const bool keeps_track_room = has_track_byte || info.find_field("tracknumber") != track_info::not_found;
    std::memset(block.data() + comment_offset, 0, has_track_byte ? comment_width_with_track : comment_width);
    write_text(block.data() + comment_offset, keeps_track_room ? comment_width_with_track : comment_width, info,
               "comment");
  }
  if (changes.touches("genre")) block[127] = genre_byte(info);
  return block;
}

bool id3v1_can_hold_info(const track_info& info) {
  const replaygain_info gain = info.get_replaygain();
  if (replaygain_count_present(gain) != 0) return false;
  for (std::uint32_t i = 0; i < info.field_count(); ++i) {
    if (info.field_value_count(i) != 1) return false;
    const char* name = info.field_name(i);
    const char* value = info.field_value(i, 0);
    std::size_t limit = 0;
    if (qiv::stricmp_ascii_equal(name, "title") || qiv::stricmp_ascii_equal(name, "artist") ||
        qiv::stricmp_ascii_equal(name, "album"))
      limit = 30;
    else if (qiv::stricmp_ascii_equal(name, "date"))
      limit = 4;
    else if (qiv::stricmp_ascii_equal(name, "comment"))
      limit = comment_width_with_track;
    if (limit != 0) {
      if (!all_ascii_within(value, limit)) return false;
    } else if (qiv::stricmp_ascii_equal(name, "tracknumber")) {
      // "0" fits the text rule but the block cannot store it.
      const unsigned track = track_byte(info);
      if (track == 0 || std::to_string(track) != value) return false;
    } else if (qiv::stricmp_ascii_equal(name, "genre")) {
      if (genre_byte_of(value) == no_genre_byte) return false;
    } else {
      return false;
    }
  }
  return true;
}
