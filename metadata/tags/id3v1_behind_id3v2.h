// What readers take from an ID3v1 block at the end of a file that starts
// with an ID3v2 tag. Every reader prefers the ID3v2 tag, but not always as a
// whole: some take from the ID3v1 block each field the ID3v2 tag lacks, and
// its comment always (under a description of its own, beside the ID3v2
// comments). A change of the block is hidden from all of them while an ID3v2
// tag holds every field the change touches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/tags/id3v1.h"

// True when every byte in which `before` and `after` differ lies in a field
// that the ID3v2 tag in `leading` (the tag's whole bytes, from "ID3") holds
// with a value. False when the tag cannot be read: a reader would then take
// the block's fields.
bool id3v1_change_hidden_behind(const std::uint8_t* leading, std::size_t leading_size, const id3v1_block& before,
                                const id3v1_block& after);
