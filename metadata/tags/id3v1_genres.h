// The ID3v1 genre list as the common taggers name it: 192 names, "Blues" (0)
// to "Psybient" (191), the published list and its later extensions, in the
// published spelling ("Psychadelic", "A capella"). ID3v2 genre references
// "(n)" and MP4 genre numbers name the same genres.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::uint32_t id3v1_genre_count = 192;

extern const char* const id3v1_genre_list[id3v1_genre_count];

// Index of the name compared with ASCII letters folded, also of the name
// the list had at 133 before it was replaced; -1 when not listed.
int id3v1_genre_index(const char* name);

// True when `text` is genre `index` as this list or another tagger spells it
// ("Alternative Rock" or "Alt. Rock" for 40), so "(40)Alt. Rock" names one genre.
bool id3v1_genre_is_spelling_of(std::uint32_t index, const std::string& text);
