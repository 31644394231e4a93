// The 128-byte ID3v1 (and v1.1) block at the end of a file: "TAG", title,
// artist and album of 30 bytes, a 4-byte year, a 30-byte comment whose last
// two bytes may be a zero and a track number, and a genre index. Texts are
// in the system's ANSI code page.
#pragma once

#include <array>
#include <cstdint>

class tag_changes;
class track_info;

using id3v1_block = std::array<std::uint8_t, 128>;

bool id3v1_is_block(const std::uint8_t* bytes);
// Sets the block's fields in `info` (those present) and "tagtype" "id3v1".
void id3v1_parse_block(const std::uint8_t* bytes, track_info& info);
id3v1_block id3v1_render_block(const track_info& info);
// `old` with the fields `changes` touches written from `info` (the block's
// own fields with the changes made); the bytes of every other field stay.
id3v1_block id3v1_write_changes(const id3v1_block& old, const track_info& info, const tag_changes& changes);
// True when the block holds every field and value of `info` unchanged.
bool id3v1_can_hold_info(const track_info& info);
