// Text and path routines of automatic filling: matching a pattern's literal
// text against a file name, and taking the part of a path a pattern covers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Matches `literal` at the start of `text` where blanks (spaces, tabs) on
// both sides match whatever run of blanks the other has; answers the
// position in `text` after the match.
std::optional<std::size_t> match_blank_insensitive(std::string_view text, std::string_view literal);

// "\", "/", "|" and ":" count as separators.
std::size_t count_path_separators(std::string_view text);
// The file name's extension cut off; a dot in a folder name is not one.
std::string strip_extension(std::string_view text);
// The display form of the path from the file name back over `levels`
// enclosing folders, separated as in the path.
std::string path_tail(const char* path, unsigned levels);

// The text cut at line feeds, a carriage return before each dropped; empty
// lines kept, the piece after the last line feed taken whole.
std::vector<std::string> split_lines(std::string_view text);
