// File-name masks such as "*.mp3" or "*.flac;*.mp3", matched without regard
// to case.
#pragma once

namespace qiv {

// True when `text` matches `pattern`: "*" stands for any run of code points
// (also none), "?" for exactly one, anything else for itself ignoring case.
// With `stop_at_semicolon` the pattern ends at its first ";", so only the
// first mask of a list is used. An invalid UTF-8 sequence ends either text.
bool wildcard_match(const char* text, const char* pattern, bool stop_at_semicolon);

// True when the text holds a "*" or a "?".
bool has_wildcards(const char* text);

} // namespace qiv
