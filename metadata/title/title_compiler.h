// Turns script text into a node tree. There is no syntax error: malformed
// text compiles up to the byte where it goes wrong, so every text yields a
// script and a half-typed one still shows what precedes the mistake.
#pragma once

#include <cstddef>

#include "metadata/title/title_node.h"

// The unsimplified tree of length bytes of UTF-8 text.
title_node_ref compile_title_text(const char* text, std::size_t length);

// The offset of the first byte of the stop set met outside parentheses,
// brackets and apostrophes, or -1 when there is none or the nesting breaks.
std::ptrdiff_t find_closing(const char* text, std::size_t length, const char* stop_set);
