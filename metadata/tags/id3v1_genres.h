// The ID3v1 genre list with its common extension: 148 names, "Blues" (0) to
// "SynthPop" (147), in the published spelling ("Psychadelic", "A capella").
// ID3v2 genre references "(n)" name the same genres.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t id3v1_genre_count = 148;

extern const char* const id3v1_genre_list[id3v1_genre_count];

// Index of the name compared with ASCII letters folded; -1 when not listed.
int id3v1_genre_index(const char* name);
