// Splitting a command line into tokens and finding start-up switches.
#pragma once

#include "foundation/string_array.h"

namespace command_line {

using token_list = qiv::string_array;

// Splits at spaces (0x20 only); a double quote starts a run in which spaces
// are kept, up to the next quote. The quotes themselves are dropped. Every
// token is kept, also an empty one made of a pair of quotes. Token 0 is the
// program.
token_list tokenize(const char* text);

// Index of the first token from 1 on that is '/' followed by exactly `name`
// (case-sensitive), or -1.
int find_option(const token_list& tokens, const char* name);

} // namespace command_line
