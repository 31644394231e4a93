// The occurrences of one search text in a longer text, found left to right
// in linear time. $strstr and $replace search texts of up to a megabyte for
// patterns nearly as long; a byte-by-byte retry at every position would take
// seconds for a single call.
#pragma once

#include <cstddef>
#include <vector>

class text_occurrences {
public:
  // Both texts must outlive the object; the pattern must not be empty.
  text_occurrences(const char* text, std::size_t text_length, const char* pattern, std::size_t pattern_length);

  // The start of the first occurrence at or after `from`, overlapping ones
  // included; the text's length when there is none. Calls must not ask for
  // an earlier `from` than a previous one.
  std::size_t first_from(std::size_t from);

private:
  std::size_t find_next();

  const char* text_;
  std::size_t text_length_;
  const char* pattern_;
  std::size_t pattern_length_;
  // border_[i]: the length of the longest proper prefix of pattern[0..i]
  // that is also its suffix (Knuth, Morris and Pratt).
  std::vector<std::size_t> border_;
  std::size_t scanned_ = 0;
  std::size_t matched_ = 0;
  std::size_t current_ = 0;
};
